// duomat-cli's language: the desktop's as the window chooses it, --lang over it, JSON keys alike.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include "tools/TCliSession.h"

using namespace clitest;

namespace {
struct TLanguageCase {
  const char* What;
  std::vector<std::string> Environment;
  std::vector<std::string> Lang;  // --lang and its value, where the case gives it
  bool LangFirst;                 // before the command, or after it
  bool Czech;
};

const TLanguageCase kCases[] = {
    {"English desktop", {"LANG=en_US.UTF-8"}, {}, false, false},
    {"Czech desktop", {"LANG=cs_CZ.UTF-8"}, {}, false, true},
    {"C locale", {"LANG=C"}, {}, false, true},
    {"another language", {"LANG=de_DE.UTF-8"}, {}, false, true},
    {"--lang cs on an English desktop", {"LANG=en_US.UTF-8"}, {"--lang", "cs"}, true, true},
    {"--lang=en after the command on a Czech desktop", {"LC_ALL=cs_CZ.UTF-8"}, {"--lang=en"}, false, false},
};
}  // namespace

TEST(CliLanguage, MessagesFollowTheDesktopOrLangAndTheCzechSettingsMessagesStayExact) {
  TSimulatedModule ingra(TLine::Tcp, {"--module", "ingra"});
  ASSERT_TRUE(ingra.Started());
  const std::string refused = "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(FreeTcpPort());
  std::set<std::string> loadKeys, failureKeys;
  for (const TLanguageCase& c : kCases) {
    SCOPED_TRACE(c.What);
    const auto run = [&](const std::string& connection, const std::vector<std::string>& words) {
      std::vector<std::string> options = {"-c", connection};
      if (c.LangFirst) options.insert(options.end(), c.Lang.begin(), c.Lang.end());
      options.insert(options.end(), words.begin(), words.end());
      if (!c.LangFirst) options.insert(options.end(), c.Lang.begin(), c.Lang.end());
      return RunCliIn(c.Environment, options);
    };

    TRun r = run(ingra.Connection(), {"ingra", "load"});
    EXPECT_EQ(r.Status, 0) << r;
    EXPECT_EQ(r.Out.substr(0, r.Out.find('\n')),
              c.Czech ? "Nastavení bylo úspěšně nahráno z modulu Ingra." : IngraLoaded) << r;

    r = run(refused, {"ingra", "load"});
    EXPECT_EQ(r.Status, 1) << r;
    const std::string reason = c.Czech ? "odmítl spojení (na tomto portu nic nenaslouchá)"
                                       : "refused the connection (nothing listens on that port)";
    EXPECT_EQ(r.Err.rfind(c.Czech ? "Nepodařilo se otevřít spojení!\n" : "Could not open the connection!\n", 0), 0u) << r;
    EXPECT_NE(r.Err.find(reason), std::string::npos) << r;

    r = run(ingra.Connection(), {"ingra", "lod"});
    EXPECT_EQ(r.Status, 2) << r;
    EXPECT_NE(r.Err.find(c.Czech ? "neznámý příkaz 'lod'; mysleli jste 'load'?" : "unknown command 'lod'; did you mean 'load'?"),
              std::string::npos)
        << r;

    // A connection string's mistake, told by the check below the command line.
    r = run("provider=TCP_CLIENT;host=127.0.0.1;port=99999", {"ingra", "load"});
    EXPECT_EQ(r.Status, 2) << r;
    EXPECT_NE(r.Err.find(c.Czech ? "port=99999: port má být celé číslo od 1 do 65535 (vzdálený port)"
                                 : "port=99999: port takes a whole number from 1 to 65535 (the remote port)"),
              std::string::npos)
        << r;
    r = run(ingra.Connection(), {"ingra", "save"});  // the parser's own refusal
    EXPECT_EQ(r.Status, 2) << r;
    EXPECT_EQ(r.Err.substr(0, r.Err.find('\n')),
              c.Czech ? "duomat-cli: RANGE chybí" : "duomat-cli: RANGE is missing")
        << r;

    // The keys a script reads never change with the language.
    const json loaded = JsonOf(run(ingra.Connection(), {"--json", "ingra", "load"}));
    const json failed = JsonOf(run(refused, {"--json", "ingra", "load"}));
    EXPECT_NE(failed.value("reason", "").find(reason), std::string::npos) << failed;
    if (loadKeys.empty()) loadKeys = Keys(loaded), failureKeys = Keys(failed);
    EXPECT_EQ(Keys(loaded), loadKeys);
    EXPECT_EQ(Keys(failed), failureKeys);
  }
}

#endif  // DUOMAT_CLI_PATH
