#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "jack_server.h"
#include "midi_system.h"

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

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

  static std::vector<std::string> DeviceNames(MidiSystem& system) {
    std::vector<std::string> names;
    for (std::uint32_t id = 0; id < system.DeviceCount(); ++id) {
      std::string name;
      EXPECT_EQ(system.DeviceName(id, name), MMSYSERR_NOERROR);
      names.push_back(name);
    }
    return names;
  }

  // The device id of a listed name; fails the test when it is not listed.
  static std::uint32_t IdOf(MidiSystem& system, const std::string& name) {
    const std::vector<std::string> names = DeviceNames(system);
    for (std::uint32_t id = 0; id < names.size(); ++id) {
      if (names[id] == name) return id;
    }
    ADD_FAILURE() << name << " is not listed";
    return 0xFFFFFFFF;
  }

  static std::uint32_t Message(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) {
    return status | (data1 << 8) | (data2 << 16);
  }

  std::unique_ptr<JackServer> server_;
  std::unique_ptr<JackMidiMonitor> monitor_;
};
