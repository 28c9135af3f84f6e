// Fixture for client library tests: a fake service that welcomes the client and then runs
// the test's script, and a CLIENT_INFO connected to it.
#ifndef KEL_TESTS_CLIENT_CLIENT_FIXTURE_H
#define KEL_TESTS_CLIENT_CLIENT_FIXTURE_H

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "tests/client/fake_server.h"
#include "webext/client/kelclient.h"

namespace kel_test {

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bClearRevBuf = false;  // module state: one test's time-out must not drain the next's socket
    ClientInfoInit(&ci);
    ASSERT_EQ(ZepSockInit(), 0);
  }

  void TearDown() override {
    // Closing first ends any wait of the script for a request that will not come.
    CloseConnect(&ci);
    server.reset();
  }

  // Starts a fake service that sends the welcome and then runs `script`, and connects.
  void Connect(FakeServer::Script script) {
    server = std::make_unique<FakeServer>([script](FakeConn& conn) {
      conn.SendWelcome();
      script(conn);
    });
    ASSERT_EQ(OpenConnect(&ci, "127.0.0.1", server->port()), 0);
  }

  // Serves exactly one exchange: records the request and answers it with `reply` under
  // code 255 (or `replyCode`).
  void ServeOne(Bytes reply, unsigned char replyCode = 255) {
    Connect([this, reply, replyCode](FakeConn& conn) {
      if (conn.Receive(&request)) conn.Send(replyCode, reply);
    });
  }

  // Waits for the fake service's script to end, so that what it recorded can be read.
  void FinishServer() { ASSERT_TRUE(server->Join()); }

  CLIENT_INFO ci;
  // Hand-offs between the test and the script; members, so that they outlive the script
  // even when a test ends early.
  Event first, second;
  std::atomic<int> requests{0};  // requests the script counted
  std::unique_ptr<FakeServer> server;
  Packet request;  // written by the server thread; read after FinishServer
};

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace kel_test

#endif
