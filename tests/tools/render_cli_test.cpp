// zelmora-render run as a separate process, so every render is the first
// after program start.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "../core/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::lines_of;
using test_support::slurp;
using test_support::spit;

struct run_result {
  int status = -1;
  std::string out, err;
};

class render_cli_test : public ::testing::Test {
 protected:
  run_result run(const std::string& arguments, bool portable = false) const {
    const std::string command = "cd '" + dir.string() + "' && " +
                                (portable ? "ZELMORA_PORTABLE=1 " : "") + "'" ZELMORA_RENDER "' " +
                                arguments + " >stdout 2>stderr";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "stdout"), slurp(dir / "stderr")};
  }
  test_support::temp_dir temp{"zelmora-cli-"};
  const fs::path& dir = temp.path;
};

TEST_F(render_cli_test, DefaultsGiveTheFirstRenderAfterStartUpOnStdoutOrInAFile) {
  const run_result mean = run("");
  ASSERT_EQ(mean.status, 0) << mean.err;
  const auto lines = lines_of(mean.out);
  ASSERT_EQ(lines.size(), 15002u);
  EXPECT_EQ(lines[2], "i1 0.000000 0.025000 500.000000 121.510475");
  EXPECT_EQ(mean.err, "");  // nothing echoed without files
  const auto mode = lines_of(run("--reduce mode").out);
  ASSERT_EQ(mode.size(), 15002u);
  EXPECT_EQ(mode[2], "i1 0.000000 0.025000 500.000000 121.510414");
  ASSERT_EQ(run("--score out.sco").status, 0);
  EXPECT_EQ(slurp(dir / "out.sco"), mean.out);
}

TEST_F(render_cli_test, ParameterFilesAndEventListsAreLoadedAsTheDialogsLoadThem) {
  spit(dir / "one.csp",
       "r1=2.000000\nNs=4\nnoinstrm=1\ns0=440\ns1=440\ns2=440\ns3=440\ni0=250\nend\n");
  spit(dir / "list.cse",
       "event\ntype=1\ntime=2\nname=quiet\nr1=2.000000\nNs=9\nnoinstrm=9\ni0=100\nend\n");
  const run_result r = run("--params one.csp --events list.cse --iterations 3");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            // 440 Hz comes back through a single-precision position.
            std::string("f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n") +
                "i1 0.000000 0.025000 250.000000 440.000061\n"
                "i1 0.025000 0.025000 250.000000 440.000061\n"
                "i1 0.050000 0.025000 100.000000 440.000061\n");
  // Echo lines go to standard error, keeping the score clean.
  EXPECT_NE(r.err.find("r1=2.000000 \n"), std::string::npos);
  EXPECT_NE(r.err.find("wail\n"), std::string::npos);
}

TEST_F(render_cli_test, RefusedFilesExitOneAndUsageErrorsTwo) {
  spit(dir / "bad.csp", "Ns=500\nend\n");
  spit(dir / "bad.cse", "not an event list\n");
  const struct {
    const char* args;
    int status;
    const char *name, *message;
  } cases[] = {{"--params nowhere.csp", 1, "nowhere.csp", ""},
               {"--params bad.csp", 1, "bad.csp", "Parameter out of range: Ns=500\n"},
               {"--events bad.cse", 1, "bad.cse", ""},
               {"--score no/such/dir.sco", 1, "no/such/dir.sco", ""},
               {"--bogus", 2, "--help", ""},
               {"--iterations", 2, "--help", ""},
               {"--iterations 12x", 2, "--help", ""},
               {"--reduce median", 2, "--help", ""},
               {"--iterations 99999999999", 2, "--help", ""}};
  for (const auto& c : cases) {
    const run_result r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(r.err.find(c.name), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << c.args;
  }
  const run_result help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--params FILE.csp"), std::string::npos);
  EXPECT_EQ(run("--iterations 0").out, "f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n");
}

TEST_F(render_cli_test, PortableKernelsGiveTheSameScoresAsTheVectorOnes) {
  const std::string examples = ZELMORA_EXAMPLES;
  for (const std::string& args :
       {"--params " + examples + "/spirals.csp --reduce mode",
        "--params " + examples + "/turbulence.csp",
        "--events " + examples + "/calm-to-storm.cse"}) {
    const run_result vector = run(args + " --iterations 300");
    const run_result portable = run(args + " --iterations 300", true);
    ASSERT_EQ(vector.status, 0) << args << vector.err;
    EXPECT_GT(vector.out.size(), 1000u);
    EXPECT_TRUE(vector.out == portable.out) << args;
  }
}

}  // namespace
