// Where kelctl takes passwords from: the first line of a file named by an option, else an
// environment variable, else a prompt on the terminal with echo off. Never the command
// line, where other users of the machine could read it.
#ifndef KEL_TOOLS_KELCTL_KELCTL_SECRETS_H
#define KEL_TOOLS_KELCTL_KELCTL_SECRETS_H

#include <functional>
#include <string>

struct KelctlSecretSource {
  std::string file;           // the option's file, empty when the option was not given
  const char* optionName;     // e.g. "--password-file", for messages
  const char* envName;        // e.g. "KEL_PASSWORD"
  std::string prompt;         // e.g. "Password for admin: "
  std::string confirmPrompt;  // when set, a prompted secret is asked again and must match
};

// Reads the environment; returns null for an unset variable.
using KelctlEnvLookup = std::function<const char*(const char* name)>;
// Asks for one secret on the terminal; false with *error when there is no terminal.
using KelctlPrompter =
    std::function<bool(const std::string& prompt, std::string* out, std::string* error)>;

// The secret from the first source that has one; an empty environment variable counts as
// unset. False with a one-line *error when the file cannot be read, no source has one, or
// the two prompted entries differ.
bool ReadKelctlSecret(const KelctlSecretSource& source, const KelctlEnvLookup& env,
                      const KelctlPrompter& prompter, std::string* out, std::string* error);

// The first line of `path` without its line end ("\n" or "\r\n"); an empty file gives an
// empty line.
bool FirstLineOfFile(const std::string& path, std::string* out, std::string* error);

// Prompts on the controlling terminal (/dev/tty) with echo switched off, and restores the
// terminal afterwards.
bool PromptWithoutEcho(const std::string& prompt, std::string* out, std::string* error);

#endif
