// The setup program's switches, each argument tested whole.
#include <gtest/gtest.h>

#include "setup/command_line.h"
#include "setup/desktop_entry.h"

namespace {

setup::CommandLine parse(std::vector<std::string> args) { return setup::parse_command_line(args); }

TEST(SetupCommandLine, SilentUninstallAndFolderSwitches) {
    auto c = parse({"/S", "/D=\"/home/a b/Quenvale/\""});
    EXPECT_TRUE(c.silent);
    EXPECT_FALSE(c.uninstall);
    EXPECT_TRUE(c.has_folder);
    EXPECT_EQ(c.folder, "/home/a b/Quenvale");
    c = parse({"--silent", "--dir=/opt/q//"});
    EXPECT_TRUE(c.silent);
    EXPECT_EQ(c.folder, "/opt/q");
    c = parse({"/s", "/d=/x/y"});
    EXPECT_TRUE(c.silent);
    EXPECT_EQ(c.folder, "/x/y");
    c = parse({"/uninstall"});
    EXPECT_TRUE(c.uninstall);
    EXPECT_FALSE(c.silent);
    EXPECT_TRUE(parse({"--uninstall", "/S"}).uninstall);
    // Text after the closing quote is not part of the folder.
    EXPECT_EQ(parse({"/D=\"/a/b\"tail"}).folder, "/a/b");
    // Paths that merely contain the switches' letters switch nothing.
    c = parse({"/srv/Setup", "--dir=/s/S"});
    EXPECT_FALSE(c.silent);
    EXPECT_FALSE(c.uninstall);
    EXPECT_EQ(c.folder, "/s/S");
    EXPECT_FALSE(parse({}).has_folder);
    EXPECT_TRUE(parse({"--automation"}).automation);
}

TEST(SetupCommandLine, WholeWindowsLineKeepsQuotedFoldersEndingInABackslash) {
    using V = std::vector<std::string>;
    // The program's own quoted path is left out; a quoted folder with spaces stays one
    // argument, and its closing "\"" is not an escaped quote.
    EXPECT_EQ(setup::split_command_line("\"C:\\Program Files\\QuenvaleSetup.exe\" /S  /D=\"C:\\a b\\Quenvale\\\""),
              (V{"/S", "/D=\"C:\\a b\\Quenvale\\\""}));
    auto c = parse(setup::split_command_line("QuenvaleSetup.exe /S /D=\"C:\\a b\\Quenvale\\\"\t/uninstall"));
    EXPECT_TRUE(c.silent);
    EXPECT_TRUE(c.uninstall);
#ifdef _WIN32
    EXPECT_EQ(c.folder, "C:\\a b\\Quenvale");
#else
    EXPECT_EQ(c.folder, "C:\\a b\\Quenvale\\");
#endif
    // Unquoted, the folder ends at the next space.
    EXPECT_EQ(parse(setup::split_command_line("x /D=C:\\q /S")).folder, "C:\\q");
    EXPECT_TRUE(setup::split_command_line("").empty());
    EXPECT_TRUE(setup::split_command_line("\"only the program\"").empty());
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ(setup::split_command_line("p /D=\"C:\\x y"), (V{"/D=\"C:\\x y"}));
}

TEST(SetupDesktopEntry, ControlCharactersCannotBeWrittenAndTemplatesKeepOtherKeys) {
    EXPECT_EQ(setup::exec_argument("/a\nb"), "");
    EXPECT_EQ(setup::string_value("/a\tb"), "");
    EXPECT_EQ(setup::exec_argument("/opt/q/quenvale"), "\"/opt/q/quenvale\"");
    EXPECT_EQ(setup::exec_argument("/a$b"), "\"/a\\\\$b\"");
    const std::string t = "[Desktop Entry]\nName=Quenvale\nExec=quenvale\nIcon=quenvale\n\n[Desktop Action x]\nExec=other\n";
    const std::string e = setup::program_entry(t, "/q/quenvale", "/q/quenvale.png", "/q");
    EXPECT_EQ(e, "[Desktop Entry]\nName=Quenvale\n\nExec=\"/q/quenvale\"\nIcon=/q/quenvale.png\nPath=/q\n"
                 "[Desktop Action x]\nExec=other\n");
    EXPECT_EQ(setup::program_entry("Name=x\n", "/q/quenvale", "/q/i.png", "/q"), "");
}

}  // namespace
