"""End-to-end: the synthesizer's library (FluidSynth and the audio and codec libraries it
pulls in) is loaded only when a configuration uses the built-in synthesizer; the program
plays either way.

Usage: synth_library_test.py PROGRAM_FOLDER [unittest options]"""

import sys
import unittest

from harness import ProgramTestCase, wait_for

PROGRAM_FOLDER = None
SYNTH, MONITOR = 0, 2  # the built-in synthesizer, the virtual output, then the monitor
NOTE_ON, NOTE_OFF = 0x90, 0x80


def mapped_libraries(pid):
    with open(f"/proc/{pid}/maps") as f:
        return {line.split()[-1].rsplit("/", 1)[-1] for line in f if "/" in line}


def has_fluidsynth(pid):
    return any(name.startswith("libfluidsynth") for name in mapped_libraries(pid))


class SynthLibraryTest(ProgramTestCase):
    def setUp(self):
        pass  # every test makes the sessions it needs

    def start(self, **config):
        session = self.new_session()
        session.use_config(**config)
        session.start_program()
        return session

    def test_a_run_without_the_synthesizer_does_not_load_it(self):
        session = self.start(recording=MONITOR)
        session.key("z")
        self.assertEqual(session.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)])
        self.assertTrue(mapped_libraries(session.program.pid), "no maps read")
        self.assertFalse(has_fluidsynth(session.program.pid))

    def test_a_configured_synthesizer_is_loaded_and_plays_beside_another_device(self):
        session = self.start(recording=SYNTH, playing=MONITOR)
        synth_port = lambda: [p for p in self.servers.run(["jack_lsp"], check=False).stdout.splitlines()
                              if p.startswith("Tessivar synthesizer:")]
        self.assertTrue(wait_for(synth_port, 10), "the synthesizer's audio output did not appear")
        self.assertTrue(has_fluidsynth(session.program.pid))
        # A running JACK server is taken first: PipeWire's library is not even tried.
        self.assertFalse([n for n in mapped_libraries(session.program.pid) if n.startswith("libpipewire")])
        session.key("z")
        self.assertEqual(session.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)])
        self.assertIsNone(session.program.poll(), "the program ended")


if __name__ == "__main__":
    PROGRAM_FOLDER = sys.argv.pop(1)
    ProgramTestCase.program_folder = PROGRAM_FOLDER
    unittest.main()
