// DlVendorLibrary against the stand-in library and a library that lacks a
// function.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "alarmlink/dlvendorlibrary.h"
#include "support/standin.h"
#include "support/tempfolder.h"

namespace tw::test {
namespace {

class VendorLibraryTest : public ::testing::Test {
  protected:
    // Places a library file into AppFolder under its expected name, as a new file.
    void Place(const std::string& fromDirectory, const std::string& name) const {
        const std::string target = m_Folder.Path() + name;
        std::filesystem::remove(target);
        std::filesystem::copy_file(fromDirectory + name, target);
    }
    std::string Log() const { return m_Folder.Read("commands.log"); }

    TempFolder m_Folder;
    StandInLog m_StandIn{m_Folder.Path()};
};

TEST_F(VendorLibraryTest, CommandTextsReachTheLibraryByteForByte) {
    Place(TW_STANDIN_DIR, "Zorvan3.dll");
    DlVendorLibrary library("Zorvan3.dll");
    const std::string alarm = "SA:1" + std::string(7, '\xFE') + "1|||Ward 3||ESPA||Room 12|";
    const std::string watchdog = "SA:1" + std::string(7, '\xFE') + "1|||Tag\n";
    ASSERT_TRUE(library.SetCommandEntry(alarm)) << library.LastError();
    ASSERT_TRUE(library.SetCommandEntry(watchdog));
    EXPECT_EQ(Log(), StandInLog::Record(alarm) + StandInLog::Record(watchdog));
}

TEST_F(VendorLibraryTest, AMissingLibraryFailsEachCallUntilItAppears) {
    DlVendorLibrary library("Zorvan2.dll");
    EXPECT_FALSE(library.SetCommandEntry("TA:1|||a"));
    EXPECT_FALSE(library.GetRunningApps(1).has_value());
    EXPECT_NE(library.LastError().find("Zorvan2.dll"), std::string::npos) << library.LastError();

    Place(TW_STANDIN_DIR, "Zorvan2.dll");
    EXPECT_TRUE(library.SetCommandEntry("TA:1|||a"));
    EXPECT_EQ(library.GetRunningApps(1), 1);
    EXPECT_EQ(Log(), "8:TA:1|||a\n");
}

TEST_F(VendorLibraryTest, ALibraryWithoutBothFunctionsIsRefusedAndTriedAgain) {
    Place(TW_PARTIAL_LIBRARY_DIR, "Zorvan2.dll");
    DlVendorLibrary library("Zorvan2.dll");
    EXPECT_FALSE(library.SetCommandEntry("TA:x"));
    EXPECT_NE(library.LastError().find("GetRunningApps"), std::string::npos) << library.LastError();

    Place(TW_STANDIN_DIR, "Zorvan2.dll");
    EXPECT_TRUE(library.SetCommandEntry("TA:x")) << library.LastError();
    EXPECT_EQ(Log(), "4:TA:x\n");
}

}  // namespace
}  // namespace tw::test
