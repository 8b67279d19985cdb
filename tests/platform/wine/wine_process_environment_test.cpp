#include "platform/wine/wine_process_environment.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_folder.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable (nullopt: unsets it) for as long as it lives.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ~ScopedVariable() { Set(old_); }

private:
    void Set(const std::optional<std::string>& value) {
        if (value) {
            setenv(name_, value->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> old_;
};

// A prefix with C: on drive_c and D: on a folder outside it.
class WineProcessEnvironmentTest : public ::testing::Test {
protected:
    WineProcessEnvironmentTest() : root(fs::canonical(folder.Path()).string()), prefix(root + "/prefix") {
        fs::create_directories(root + "/prefix/dosdevices");
        fs::create_directories(root + "/prefix/drive_c");
        fs::create_directories(root + "/media");
        fs::create_symlink("../drive_c", root + "/prefix/dosdevices/c:");
        fs::create_symlink(root + "/media", root + "/prefix/dosdevices/d:");
    }

    test::TempFolder folder;
    std::string root;
    WinePrefix prefix;
    WineProcessEnvironment environment{prefix, {}};
};

TEST_F(WineProcessEnvironmentTest, UserFoldersFollowTheXdgVariablesThroughTheDrives) {
    struct Case {
        std::string name;
        std::optional<std::string> dataHome;
        std::optional<std::string> stateHome;
        std::string data;
        std::string state;
    };
    const std::string media = root + "/media";
    const Case cases[] = {
        {"set", media + "/share", media + "/state/", "D:\\share\\vantrel", "D:\\state\\vantrel"},
        {"unset", std::nullopt, std::nullopt, "D:\\home\\.local\\share\\vantrel", "D:\\home\\.local\\state\\vantrel"},
        {"empty", "", "", "D:\\home\\.local\\share\\vantrel", "D:\\home\\.local\\state\\vantrel"},
        {"relative, which counts as unset", "share", "./state", "D:\\home\\.local\\share\\vantrel",
         "D:\\home\\.local\\state\\vantrel"},
        {"outside every drive but Z:", "/var/lib/data", "/var/lib/state", "Z:\\var\\lib\\data\\vantrel",
         "Z:\\var\\lib\\state\\vantrel"},
    };
    const ScopedVariable home("HOME", media + "/home");
    for (const auto& c : cases) {
        const ScopedVariable data("XDG_DATA_HOME", c.dataHome);
        const ScopedVariable state("XDG_STATE_HOME", c.stateHome);
        EXPECT_EQ(environment.UserDataFolder(), c.data) << c.name;
        EXPECT_EQ(environment.UserStateFolder(), c.state) << c.name;
    }
}

TEST_F(WineProcessEnvironmentTest, HomeFolderIsVantrelHomeAndLeavesTheProgramFolderAlone) {
    const ScopedVariable unset("VANTREL_HOME", std::nullopt);
    EXPECT_EQ(environment.HomeFolder(), "");
    const std::string program = environment.ProgramFolder();
    const ScopedVariable home("VANTREL_HOME", root + "/media/Definitions/");
    EXPECT_EQ(environment.HomeFolder(), "D:\\Definitions");
    EXPECT_EQ(environment.ProgramFolder(), program);
    EXPECT_EQ(program, "Z:" + [] {
        std::string path = fs::canonical("/proc/self/exe").parent_path().string();
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    }());
}

TEST_F(WineProcessEnvironmentTest, CreatesPrivateFoldersAndTellsWhereItCanWrite) {
    const std::string media = root + "/media";
    test::WriteBytes(media + "/file", "a file");
    fs::create_directories(media + "/existing");
    fs::permissions(media + "/existing", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_TRUE(environment.CreateFolder("D:\\existing"));
    EXPECT_EQ(fs::status(media + "/existing").permissions(),
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec)
        << "an existing folder is left as it is";
    ASSERT_TRUE(environment.CreateFolder("D:\\new\\deeper\\vantrel"));
    for (const char* made : {"/new", "/new/deeper", "/new/deeper/vantrel"}) {
        EXPECT_EQ(fs::status(media + made).permissions(), fs::perms::owner_all) << made;
    }
    EXPECT_FALSE(environment.CreateFolder("D:\\file\\below"));
    EXPECT_FALSE(environment.CreateFolder("Q:\\no drive"));

    struct Case {
        const char* folder;
        bool writable;
    };
    const Case cases[] = {
        {"D:\\new\\deeper\\vantrel", true},
        {"d:\\NEW\\Deeper", true},
        {"D:\\missing", false},
        {"D:\\file", false},
        {"Q:\\no drive", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(environment.CanWriteIn(c.folder), c.writable) << c.folder;
    }
}

// The system's folders are told by where they really are; a copy elsewhere is not installed, also when
// root owns it (as this test's folders, when the tests run as root).
TEST_F(WineProcessEnvironmentTest, TellsTheSystemsProgramFoldersFromUnpackedCopies) {
    fs::create_directories(root + "/media/usr/bin");
    fs::create_directories(root + "/media/optional");
    fs::create_directory_symlink("/usr/bin", root + "/media/link to usr");
    struct Case {
        const char* folder;
        bool installed;
    };
    const Case cases[] = {
        {"Z:\\usr\\bin", true},     {"z:\\USR\\Bin", true},    {"Z:\\usr", true},
        {"D:\\link to usr", true},  {"D:\\usr\\bin", false},   {"D:\\optional", false},
        {"D:\\", false},            {"Z:\\usr\\missing", false}, {"Q:\\no drive", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(environment.IsInstalledProgramFolder(c.folder), c.installed) << c.folder;
    }
}

// Root writes where the mode bits forbid it, but not on a read-only mount: the folder is mounted so in
// a child process's own mount namespace.
TEST_F(WineProcessEnvironmentTest, AReadOnlyMountCannotBeWrittenEvenByRoot) {
    const std::string readOnly = root + "/media/read-only";
    fs::create_directories(readOnly);
    ASSERT_TRUE(environment.CanWriteIn("D:\\read-only"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(readOnly.c_str(), readOnly.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, readOnly.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
            _exit(2);
        }
        _exit(environment.CanWriteIn("D:\\read-only") ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) {
        GTEST_SKIP() << "this process may not make a mount namespace of its own";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a read-only mount counts as not writable";
}

} // namespace
} // namespace vantrel
