// Where kelctl takes passwords from: file first, then the environment, then the prompt.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "tools/kelctl/kelctl_secrets.h"

namespace {

class KelctlSecret : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kelctl-secret-XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    path = tmpl;
  }
  void TearDown() override { unlink(path.c_str()); }

  void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

  bool Read(const KelctlSecretSource& source, std::string* out, std::string* error) {
    return ReadKelctlSecret(
        source,
        [this](const char* name) -> const char* {
          auto it = env.find(name);
          return it == env.end() ? nullptr : it->second.c_str();
        },
        [this](const std::string& prompt, std::string* answer, std::string* err) {
          prompts.push_back(prompt);
          if (answers.empty()) {
            *err = "no terminal to ask for the password on";
            return false;
          }
          *answer = answers.front();
          answers.erase(answers.begin());
          return true;
        },
        out, error);
  }

  KelctlSecretSource Source(const std::string& file = "") {
    return {file, "--password-file", "KEL_PASSWORD", "Password for admin: ", ""};
  }

  std::string path;
  std::map<std::string, std::string> env;
  std::vector<std::string> answers;
  std::vector<std::string> prompts;
};

TEST_F(KelctlSecret, FileWinsAndOnlyItsFirstLineCounts) {
  Write("pelum\r\nsecond line\n");
  env["KEL_PASSWORD"] = "from-env";
  std::string out, error;
  ASSERT_TRUE(Read(Source(path), &out, &error)) << error;
  EXPECT_EQ(out, "pelum");
  EXPECT_TRUE(prompts.empty());
}

TEST_F(KelctlSecret, FileWithoutNewlineAndEmptyFileAreRead) {
  std::string out, error;
  Write("rovak");
  ASSERT_TRUE(Read(Source(path), &out, &error));
  EXPECT_EQ(out, "rovak");
  Write("");
  ASSERT_TRUE(Read(Source(path), &out, &error));
  EXPECT_EQ(out, "");
}

TEST_F(KelctlSecret, MissingFileIsAnErrorNamingIt) {
  std::string out, error;
  EXPECT_FALSE(Read(Source(path + ".none"), &out, &error));
  EXPECT_NE(error.find(path + ".none"), std::string::npos) << error;
}

TEST_F(KelctlSecret, EnvironmentComesBeforeThePrompt) {
  env["KEL_PASSWORD"] = "pelum";
  std::string out, error;
  ASSERT_TRUE(Read(Source(), &out, &error));
  EXPECT_EQ(out, "pelum");
  EXPECT_TRUE(prompts.empty());
}

TEST_F(KelctlSecret, EmptyEnvironmentVariableFallsThroughToThePrompt) {
  env["KEL_PASSWORD"] = "";
  answers = {"typed"};
  std::string out, error;
  ASSERT_TRUE(Read(Source(), &out, &error));
  EXPECT_EQ(out, "typed");
  EXPECT_EQ(prompts, (std::vector<std::string>{"Password for admin: "}));
}

TEST_F(KelctlSecret, NoSourceAtAllNamesTheOptionAndTheVariable) {
  std::string out, error;
  EXPECT_FALSE(Read(Source(), &out, &error));
  EXPECT_EQ(error, "no terminal to ask for the password on (use --password-file or KEL_PASSWORD)");
}

TEST_F(KelctlSecret, ConfirmedPromptMustMatch) {
  KelctlSecretSource s = Source();
  s.confirmPrompt = "Retype: ";
  std::string out, error;
  answers = {"one", "one"};
  ASSERT_TRUE(Read(s, &out, &error));
  EXPECT_EQ(out, "one");
  answers = {"one", "two"};
  EXPECT_FALSE(Read(s, &out, &error));
  EXPECT_EQ(error, "the two entries differ");
}

}  // namespace
