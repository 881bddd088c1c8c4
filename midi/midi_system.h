#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The seam between the device set and the machine's MIDI: shaped like the Windows
// multimedia output calls, with their result codes. Implementations: the system's
// MIDI (RtMidi: ALSA sequencer or JACK), WinMM on Windows, the built-in synthesizer,
// and a recording fake for tests.

using MidiResult = std::uint32_t;
// Opaque handle of an open device; 0 means none.
using MidiHandle = std::uintptr_t;

#ifndef MMSYSERR_NOERROR  // <mmsystem.h> has them as macros of the same values
inline constexpr MidiResult MMSYSERR_NOERROR = 0;
inline constexpr MidiResult MMSYSERR_ERROR = 1;
inline constexpr MidiResult MMSYSERR_BADDEVICEID = 2;
inline constexpr MidiResult MMSYSERR_NOTENABLED = 3;
inline constexpr MidiResult MMSYSERR_ALLOCATED = 4;
inline constexpr MidiResult MMSYSERR_INVALHANDLE = 5;
inline constexpr MidiResult MMSYSERR_NODRIVER = 6;
inline constexpr MidiResult MMSYSERR_NOMEM = 7;
inline constexpr MidiResult MMSYSERR_BADERRNUM = 9;
inline constexpr MidiResult MMSYSERR_INVALPARAM = 11;
inline constexpr MidiResult MIDIERR_NOTREADY = 67;
inline constexpr MidiResult MIDIERR_NODEVICE = 68;
#endif

class MidiSystem {
 public:
  virtual ~MidiSystem() = default;

  virtual std::uint32_t DeviceCount() = 0;
  // The product name of device id (at most 32 characters are used by the caller).
  virtual MidiResult DeviceName(std::uint32_t id, std::string& name) = 0;
  virtual MidiResult Open(std::uint32_t id, MidiHandle& handle) = 0;
  // message: status in the low byte, then data 1, then data 2. Must not allocate.
  virtual MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) = 0;
  virtual MidiResult Close(MidiHandle handle) = 0;
  // The text of a result code; a non-zero result means the text cannot be fetched.
  virtual MidiResult ErrorText(MidiResult code, std::string& text) = 0;
  // Looks the machine's ports up again: a port not listed yet is appended, none is removed
  // or moved, so that every id keeps naming the same device for the run (a port that went
  // away stays listed, and is its device again when it comes back).
  virtual void ListNewDevices() {}
  // A hint that device id is about to be used: what its first open would take a while to
  // make ready may start now, off the calling thread. Nothing is opened, nothing fails.
  virtual void Prepare(std::uint32_t id) { static_cast<void>(id); }
  // A system still being made elsewhere answers every call, but only once it is made: a
  // caller that must not wait asks Ready first, and may have whenReady called once it is
  // (at once when it already is, else once, on the thread that made it).
  virtual bool Ready() { return true; }
  virtual void CallWhenReady(std::function<void()> whenReady) { whenReady(); }
};

// The system of a machine without MIDI: no devices, and nothing to open.
std::unique_ptr<MidiSystem> CreateNoMidiSystem();

// The MIDI system the device set enumerates on its first use. The program installs the
// machine's; tests install a fake. Without one installed the machine has no devices.
void InstallMidiSystem(std::unique_ptr<MidiSystem> system);
MidiSystem& InstalledMidiSystem();
// Hands the installed system the devices the configuration in use plays through (a
// negative index is none), so that they are ready before the first note.
void PrepareMidiDevices(std::int32_t recording, std::int32_t playing);
