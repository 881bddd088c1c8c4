#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "jack_server.h"
#include "midi_checks.h"

// Every test gets its own JACK server and a MIDI monitor client "monitor" on it.
class JackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<JackServer>();
    ASSERT_FALSE(server_->Busy()) << server_->Failure();
    if (!server_->Failure().empty()) {
      GTEST_SKIP() << "jackd cannot run here: " << server_->Failure();
    }
    monitor_ = std::make_unique<JackMidiMonitor>("monitor");
    ASSERT_TRUE(monitor_->Ok());
  }

  void TearDown() override {
    monitor_.reset();
    server_.reset();
  }

  std::unique_ptr<JackServer> server_;
  std::unique_ptr<JackMidiMonitor> monitor_;
};
