"""A wininet.dll planted beside the exe, as in a Downloads folder, with Wine
told to follow Windows' search order for it."""
import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "harness"))
import sandbox  # noqa: E402


class DllPlantingTest(sandbox.SandboxTestCase):

    def run_from_downloads(self, exe):
        downloads = os.path.join(self.sb.dir, "Downloads")
        shutil.rmtree(downloads, ignore_errors=True)
        os.makedirs(downloads)
        shutil.copy(os.environ["PLANTED_DLL"], os.path.join(downloads, "wininet.dll"))
        copy = os.path.join(downloads, os.path.basename(exe))
        shutil.copy(exe, copy)
        marker = os.path.join(self.sb.dir, "planted-dll-ran")
        if os.path.exists(marker):
            os.remove(marker)
        env = {"WINEDLLOVERRIDES": sandbox.DLL_OVERRIDES + ";wininet=n,b",
               "PLANTED_MARKER": sandbox.windows_path(marker)}
        launch = self.sb.launch(copy, env=env, expect_url=exe == self.exe)
        return launch, os.path.exists(marker)

    def test_a_program_importing_wininet_at_load_time_runs_the_planted_dll(self):
        _, planted_ran = self.run_from_downloads(os.environ["PLAIN_CLIENT"])
        self.assertTrue(planted_ran, "the sandbox reproduces the attack")

    def test_the_launcher_never_loads_it_and_completes_its_launch(self):
        launch, planted_ran = self.run_from_downloads(self.exe)
        self.assertFalse(planted_ran)
        self.assertLaunchedCleanly(launch)
        self.assertRegex(launch.url, r"\?did=[0-9a-f]{32}$")
        self.assertEqual([r["path"] for r in launch.records], ["/app/getuid", "/logger/common/log"])


if __name__ == "__main__":
    sandbox.main()
