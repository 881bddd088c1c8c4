"""End-to-end: the program plays to another machine over JACK's network transport
(netjack2), both ends on the loopback. The program's JACK server runs the net driver, whose
system:midi_playback_1 carries the notes to a receiving server (dummy driver with the
netmanager client), where they come out of <sender>:midi_from_slave_1 into a MIDI monitor.
Exact notes, Space, and a receiving server that restarts: the next note plays there again.

Usage: netjack_test.py PROGRAM_FOLDER [unittest options]"""

import os
import random
import subprocess

import harness
from harness import MidiMonitor, PlayingTestCase, _end_with_parent, wait_for

NOTE_ON, NOTE_OFF = 0x90, 0x80
SENDER = "tessivar-sender"  # the sending server's name at the receiving one
FROM_SENDER = SENDER + ":midi_from_slave_1"


class NetJack:
    """The program's JACK server sends over the net driver to a receiving server of its own
    on 127.0.0.1 (a UDP port of the test's own). The session's monitor is not on the
    program's server (jack is False): the test listens at the receiving end."""
    jack = False

    def start(self, servers):
        name = f"tessivar-e2e-{os.getpid()}-{random.randint(0, 99999)}"
        self.udp_port = str(random.randint(20000, 29999))
        self.receiving_env = dict(servers.env, JACK_DEFAULT_SERVER=name + "-receiving",
                                  JACK_NO_AUDIO_RESERVATION="1")
        servers.env.update({"JACK_DEFAULT_SERVER": name + "-sending", "JACK_NO_AUDIO_RESERVATION": "1"})
        self.start_receiving(servers)
        servers.spawn(["jackd", "-n", name + "-sending", "-d", "net", "-a", "127.0.0.1", "-p", self.udp_port,
                       "-n", SENDER, "-C", "0", "-P", "0", "-i", "1", "-o", "1"])
        self.wait_joined(servers)

    def start_receiving(self, servers):
        self.receiving = servers.spawn(["jackd", "-S", "-n", self.receiving_env["JACK_DEFAULT_SERVER"], "-d", "dummy",
                                        "-r", "48000", "-p", "256"], env=self.receiving_env)
        if not wait_for(lambda: self.receiving.poll() is not None or self.run(["jack_lsp"]).returncode == 0, 10) \
                or self.receiving.poll() is not None:
            raise RuntimeError("the receiving jackd did not start")
        self.run(["jack_load", "netmanager", "-i", f"-a 127.0.0.1 -p {self.udp_port}"], check=True)

    def stop_receiving(self, servers):
        self.receiving.terminate()
        self.receiving.wait(timeout=10)
        servers.processes.remove(self.receiving)

    def wait_joined(self, servers):
        """The sender reached the receiving server, and its playback port is there again."""
        joined = wait_for(lambda: FROM_SENDER in self.run(["jack_lsp"]).stdout
                          and "system:midi_playback_1" in servers.run(["jack_lsp"], check=False).stdout, 20)
        if not joined:
            raise RuntimeError("the sending server did not join the receiving one")

    def run(self, command, check=False):
        """A command on the receiving server."""
        return subprocess.run(command, env=self.receiving_env, capture_output=True, text=True, check=check,
                              timeout=20)

    def popen(self, command, **options):
        """A client of the receiving server (the monitor)."""
        return subprocess.Popen(command, env=self.receiving_env, preexec_fn=_end_with_parent, **options)

    def command(self, command):
        return command


class NetJackTest(PlayingTestCase):
    midi = NetJack

    def setUp(self):
        super().setUp()  # the program plays to device 2, the sending server's system:midi_playback_1
        self.listen()

    def listen(self):
        """A monitor at the receiving end, fed by what arrives from the sender."""
        netjack = self.servers.midi
        self.monitor = MidiMonitor(netjack, f"remote{random.randint(1000, 9999)}")
        self.addCleanup(self.monitor.stop)
        self.assertTrue(wait_for(lambda: self.monitor.port in netjack.run(["jack_lsp"]).stdout, 5))
        netjack.run(["jack_connect", FROM_SENDER, self.monitor.port], check=True)

    def test_notes_and_space_arrive_and_a_restarted_receiver_is_followed(self):
        session, netjack = self.session, self.servers.midi
        session.key("z", "x")
        self.assertEqual(self.monitor.wait_count(4), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100),
                                                      (NOTE_ON, 38, 100), (NOTE_OFF, 38, 100)])
        # Space ends what is held at the receiving end too; the releases send nothing more.
        session.key_down("z")
        session.key_down("c")
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_ON, 40, 100)])
        session.key("space")
        self.assertEqual(sorted(self.monitor.wait_count(2)), [(NOTE_OFF, 36, 0), (NOTE_OFF, 40, 0)])
        session.key_up("z")
        session.key_up("c")
        self.assertEqual(self.monitor.wait_count(1, timeout=0.5), [])

        # The receiving server stops and starts again: the sender's ports go and come back,
        # and the next note reaches the new server as a local server's restart would.
        self.monitor.stop()
        netjack.stop_receiving(self.servers)
        netjack.start_receiving(self.servers)
        netjack.wait_joined(self.servers)
        self.listen()
        session.key("b")
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 43, 100), (NOTE_OFF, 43, 100)])
        self.assertEqual(session.find_windows(harness.WINDOW_TITLE), [self.window], "an error box came up")
        self.assertEqual(session.exit_through_menu(self.window), 0)


if __name__ == "__main__":
    harness.main()
