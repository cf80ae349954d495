#pragma once

// The fixture of both window test programs: one Xvfb server per test suite, DISPLAY pointed at it, and for each
// test a fresh stand-in host connection that must see none of the editor's X errors and keep its handler.
// It includes XHostHarness.h (Xlib's macros), so include this one last too.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "tests/graphics_x11/XvfbServer.h"
// Xlib's macros last.
#include "tests/graphics_x11/XHostHarness.h"

namespace quorl_test {

class XServerTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { sServer = new XvfbServer(); }
  static void TearDownTestSuite()
  {
    delete sServer;
    sServer = nullptr;
  }

  void SetUp() override
  {
    if (!sServer->Running())
      GTEST_SKIP() << "Xvfb cannot be started";
    setenv("DISPLAY", sServer->Name().c_str(), 1);
    host = std::make_unique<XHostHarness>(sServer->Name());
    ASSERT_TRUE(host->Connected());
    host->SetResources(nullptr);
    hostErrorsAtStart = XHostHarness::HostErrors();
  }

  void TearDown() override
  {
    if (!host)
      return;
    // Nothing the editor did may reach the host's error handler, nor replace it.
    EXPECT_EQ(XHostHarness::HostErrors(), hostErrorsAtStart);
    EXPECT_TRUE(host->HostHandlerInstalled());
    host->SetResources(nullptr);
  }

  inline static XvfbServer* sServer = nullptr;
  std::unique_ptr<XHostHarness> host;
  int hostErrorsAtStart = 0;
};

} // namespace quorl_test
