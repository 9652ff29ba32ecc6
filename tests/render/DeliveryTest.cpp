// What leaves the renderer: warnings for a master at risk over its ceiling.

#include "RenderTestSupport.h"

namespace rendertest {
namespace {

std::vector<std::string> warningsIn(const std::string& err) {
  std::vector<std::string> lines;
  std::istringstream text(err);
  for (std::string line; std::getline(text, line);) {
    if (line.rfind("quelmar-render: warning: ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

TEST(Warnings, ForAMasterOverItsCeilingOrALossyFormatWithoutHeadroom) {
  TempDir dir;
  const std::vector<std::string> drive = {"--threshold", "-6", "--json"};
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> says;  // a phrase of each warning, in order
  };
  for (const Case& c : {Case{{"out.mp3"}, {"ISP is off", "MP3 with a 0.0 dB ceiling"}},
                        Case{{"out.wav", "--ceiling", "-1"}, {"is over the -1.0 dB ceiling: ISP is off"}},
                        Case{{"isp.wav", "--ceiling", "-1", "--isp"}, {}}}) {
    std::vector<std::string> args = {QUELMAR_EXAMPLE_PATH};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), drive.begin(), drive.end());
    const Ran run = render(args, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> warnings = warningsIn(run.err);
    ASSERT_EQ(warnings.size(), c.says.size()) << run.err;
    for (std::size_t i = 0; i < warnings.size(); ++i) {
      EXPECT_NE(warnings[i].find(c.args[0] + ": "), std::string::npos) << warnings[i];
      EXPECT_NE(warnings[i].find(c.says[i]), std::string::npos) << warnings[i];
      EXPECT_NE(warnings[i].find("--ceiling -"), std::string::npos) << "names the ceiling to use: " << warnings[i];
      EXPECT_NE(run.out.find(warnings[i].substr(25)), std::string::npos) << "and the JSON holds it";
    }
    if (c.says.empty()) {
      EXPECT_NE(run.out.find("\"warnings\": []"), std::string::npos) << run.out;
    }
  }
}

}  // namespace
}  // namespace rendertest
