#include "combined_midi_system.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// A member system with scripted devices, whose handles are all small numbers (so that
// two members hand out the same values), and a shared log of what reached it.
class ScriptedMember : public MidiSystem {
 public:
  ScriptedMember(std::string tag, std::vector<std::string> devices, std::vector<std::string>& log)
      : tag_(std::move(tag)), devices_(std::move(devices)), log_(log) {}

  std::map<std::uint32_t, MidiResult> OpenResult;
  std::map<MidiResult, std::string> Texts;
  std::vector<std::string> Later;  // the ports that come before the next look-up

  void ListNewDevices() override {
    devices_.insert(devices_.end(), Later.begin(), Later.end());
    Later.clear();
  }

  std::uint32_t DeviceCount() override { return static_cast<std::uint32_t>(devices_.size()); }
  MidiResult DeviceName(std::uint32_t id, std::string& name) override {
    if (id >= devices_.size()) return MMSYSERR_BADDEVICEID;
    name = devices_[id];
    return MMSYSERR_NOERROR;
  }
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override {
    log_.push_back(tag_ + " open " + std::to_string(id));
    if (id >= devices_.size()) return MMSYSERR_BADDEVICEID;
    if (const auto found = OpenResult.find(id); found != OpenResult.end()) return found->second;
    handle = id + 1;
    return MMSYSERR_NOERROR;
  }
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override {
    log_.push_back(tag_ + " short " + std::to_string(handle) + " " + std::to_string(message));
    return message == 0xDEAD ? MMSYSERR_NOTENABLED : MMSYSERR_NOERROR;
  }
  MidiResult Close(MidiHandle handle) override {
    log_.push_back(tag_ + " close " + std::to_string(handle));
    return MMSYSERR_NOERROR;
  }
  MidiResult ErrorText(MidiResult code, std::string& text) override {
    const auto found = Texts.find(code);
    if (found == Texts.end()) return MMSYSERR_BADERRNUM;
    text = found->second;
    return MMSYSERR_NOERROR;
  }

 private:
  std::string tag_;
  std::vector<std::string> devices_;
  std::vector<std::string>& log_;
};

class CombinedMidiSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto a = std::make_unique<ScriptedMember>("A", std::vector<std::string>{"Synth"}, log_);
    auto empty = std::make_unique<ScriptedMember>("E", std::vector<std::string>{}, log_);
    auto b =
        std::make_unique<ScriptedMember>("B", std::vector<std::string>{"Port 1", "Port 2"}, log_);
    a_ = a.get();
    b_ = b.get();
    std::vector<std::unique_ptr<MidiSystem>> members;
    members.push_back(std::move(a));
    members.push_back(std::move(empty));
    members.push_back(std::move(b));
    members.push_back(nullptr);
    combined_ = std::make_unique<CombinedMidiSystem>(std::move(members));
  }

  std::vector<std::string> log_;
  ScriptedMember* a_ = nullptr;
  ScriptedMember* b_ = nullptr;
  std::unique_ptr<CombinedMidiSystem> combined_;
};

TEST_F(CombinedMidiSystemTest, ListsTheMembersDevicesInOrder) {
  ASSERT_EQ(combined_->DeviceCount(), 3u);
  std::vector<std::string> names;
  for (std::uint32_t id = 0; id < 3; ++id) {
    std::string name;
    ASSERT_EQ(combined_->DeviceName(id, name), MMSYSERR_NOERROR);
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Synth", "Port 1", "Port 2"}));
  std::string name;
  EXPECT_EQ(combined_->DeviceName(3, name), MMSYSERR_BADDEVICEID);
  MidiHandle handle = 0;
  EXPECT_EQ(combined_->Open(3, handle), MMSYSERR_BADDEVICEID);
  EXPECT_TRUE(log_.empty());
}

TEST_F(CombinedMidiSystemTest, HandlesLeadBackToTheMemberThatOpenedThem) {
  MidiHandle synth = 0, port2 = 0, port1 = 0;
  ASSERT_EQ(combined_->Open(0, synth), MMSYSERR_NOERROR);
  ASSERT_EQ(combined_->Open(2, port2), MMSYSERR_NOERROR);
  ASSERT_EQ(combined_->Open(1, port1), MMSYSERR_NOERROR);
  EXPECT_NE(synth, 0u);
  EXPECT_NE(synth, port1);
  EXPECT_NE(synth, port2);
  EXPECT_NE(port1, port2);

  EXPECT_EQ(combined_->ShortMessage(port2, 0x403C90), MMSYSERR_NOERROR);
  EXPECT_EQ(combined_->ShortMessage(synth, 0x05C0), MMSYSERR_NOERROR);
  EXPECT_EQ(combined_->Close(port2), MMSYSERR_NOERROR);
  EXPECT_EQ(combined_->ShortMessage(port2, 0x003C80), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(combined_->Close(port2), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(combined_->ShortMessage(0, 0x003C80), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(combined_->ShortMessage(999, 0x003C80), MMSYSERR_INVALHANDLE);

  // A freed slot is used again, and still leads to the right member.
  MidiHandle again = 0;
  ASSERT_EQ(combined_->Open(2, again), MMSYSERR_NOERROR);
  EXPECT_EQ(combined_->ShortMessage(again, 0x7F3C90), MMSYSERR_NOERROR);

  EXPECT_EQ(log_, (std::vector<std::string>{"A open 0", "B open 1", "B open 0", "B short 2 4209808",
                                            "A short 1 1472", "B close 2", "B open 1",
                                            "B short 2 8338576"}));

  // Whatever is still open is closed when the combination goes.
  log_.clear();
  combined_.reset();
  EXPECT_EQ(log_, (std::vector<std::string>{"A close 1", "B close 2", "B close 1"}));
}

TEST_F(CombinedMidiSystemTest, AFailureCodeHasTheTextOfTheMemberThatGaveItLast) {
  a_->OpenResult[0] = MMSYSERR_ERROR;
  a_->Texts[MMSYSERR_ERROR] = "the synthesizer broke";
  b_->OpenResult[1] = MMSYSERR_ERROR;
  b_->Texts[MMSYSERR_ERROR] = "the port broke";
  b_->OpenResult[0] = 99;  // B has no text for this one

  MidiHandle handle = 0;
  std::string text;
  ASSERT_EQ(combined_->Open(2, handle), MMSYSERR_ERROR);
  ASSERT_EQ(combined_->ErrorText(MMSYSERR_ERROR, text), MMSYSERR_NOERROR);
  EXPECT_EQ(text, "the port broke");
  ASSERT_EQ(combined_->Open(0, handle), MMSYSERR_ERROR);
  ASSERT_EQ(combined_->ErrorText(MMSYSERR_ERROR, text), MMSYSERR_NOERROR);
  EXPECT_EQ(text, "the synthesizer broke");

  a_->Texts[99] = "A would have a text";
  ASSERT_EQ(combined_->Open(1, handle), 99u);
  EXPECT_EQ(combined_->ErrorText(99, text), MMSYSERR_BADERRNUM);

  // Failures of short messages count the same way.
  MidiHandle synth = 0;
  a_->OpenResult.clear();
  b_->Texts[MMSYSERR_NOTENABLED] = "B is not enabled";
  a_->Texts[MMSYSERR_NOTENABLED] = "A is not enabled";
  ASSERT_EQ(combined_->Open(0, synth), MMSYSERR_NOERROR);
  ASSERT_EQ(combined_->ShortMessage(synth, 0xDEAD), MMSYSERR_NOTENABLED);
  ASSERT_EQ(combined_->ErrorText(MMSYSERR_NOTENABLED, text), MMSYSERR_NOERROR);
  EXPECT_EQ(text, "A is not enabled");
}

TEST_F(CombinedMidiSystemTest, CodesNoMemberGaveHaveTheStandardTextOrNone) {
  std::string text;
  ASSERT_EQ(combined_->ErrorText(MMSYSERR_BADDEVICEID, text), MMSYSERR_NOERROR);
  EXPECT_EQ(text, "The specified device identifier is out of range.");
  ASSERT_EQ(combined_->ErrorText(MIDIERR_NODEVICE, text), MMSYSERR_NOERROR);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(combined_->ErrorText(500, text), MMSYSERR_BADERRNUM);
  EXPECT_EQ(combined_->ErrorText(12, text), MMSYSERR_BADERRNUM);

  // A member's own text for a code it did not fail with yet is found as well.
  b_->Texts[MMSYSERR_INVALPARAM] = "B explains";
  ASSERT_EQ(combined_->ErrorText(MMSYSERR_INVALPARAM, text), MMSYSERR_NOERROR);
  EXPECT_EQ(text, "B explains");
}

TEST_F(CombinedMidiSystemTest, DevicesListedLaterComeAfterAllOthersAndKeepEveryId) {
  MidiHandle port2 = 0;
  ASSERT_EQ(combined_->Open(2, port2), MMSYSERR_NOERROR);
  a_->Later = {"Synth 2"};
  b_->Later = {"Port 3"};
  EXPECT_EQ(combined_->DeviceCount(), 3u) << "nothing new before the look-up";
  combined_->ListNewDevices();
  combined_->ListNewDevices();
  ASSERT_EQ(combined_->DeviceCount(), 5u);
  std::vector<std::string> names;
  for (std::uint32_t id = 0; id < 5; ++id) {
    std::string name;
    ASSERT_EQ(combined_->DeviceName(id, name), MMSYSERR_NOERROR);
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Synth", "Port 1", "Port 2", "Synth 2", "Port 3"}));
  MidiHandle synth2 = 0, port3 = 0;
  ASSERT_EQ(combined_->Open(3, synth2), MMSYSERR_NOERROR);
  ASSERT_EQ(combined_->Open(4, port3), MMSYSERR_NOERROR);
  EXPECT_EQ(combined_->ShortMessage(port2, 0x90), MMSYSERR_NOERROR);
  EXPECT_EQ(log_, (std::vector<std::string>{"B open 1", "A open 1", "B open 2", "B short 2 144"}));
}

TEST(CombinedMidiSystemEmpty, NoMembersMeansNoDevices) {
  CombinedMidiSystem combined({});
  EXPECT_EQ(combined.DeviceCount(), 0u);
  MidiHandle handle = 0;
  EXPECT_EQ(combined.Open(0, handle), MMSYSERR_BADDEVICEID);
  std::string text;
  EXPECT_EQ(combined.ErrorText(MMSYSERR_INVALHANDLE, text), MMSYSERR_NOERROR);
}

}  // namespace
