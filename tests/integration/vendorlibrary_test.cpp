// DlVendorLibrary against the stand-in library and a library that lacks a
// function.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/dlvendorlibrary.h"
#include "support/standin.h"
#include "support/tempfolder.h"

namespace tw::test {
namespace {

class VendorLibraryTest : public ::testing::Test {
  protected:
    // Places a library file into the folder under its expected name, as a new file.
    void Place(const std::string& fromDirectory, const std::string& name) const {
        const std::string target = m_Folder.Path() + name;
        std::filesystem::remove(target);
        std::filesystem::copy_file(fromDirectory + name, target);
    }
    std::string Log() const { return m_Folder.Read("commands.log"); }

    TempFolder m_Folder;
    StandInLog m_StandIn{m_Folder.Path()};
};

// Until Load succeeds every call fails without looking for the file again.
TEST_F(VendorLibraryTest, AMissingOrIncompleteLibraryIsRefusedUntilLoadFindsAGoodOne) {
    const struct {
        const char* m_From;
        const char* m_Reason;
    } rows[] = {{nullptr, "Zorvan2.dll"}, {TW_PARTIAL_LIBRARY_DIR, "GetRunningApps"}};
    for (const auto& row : rows) {
        if (row.m_From != nullptr) {
            Place(row.m_From, "Zorvan2.dll");
        }
        DlVendorLibrary library(m_Folder.Path(), "Zorvan2.dll");
        std::string reason;
        EXPECT_FALSE(library.Load(reason));
        EXPECT_NE(reason.find(row.m_Reason), std::string::npos) << reason;
        Place(TW_STANDIN_DIR, "Zorvan2.dll");
        EXPECT_FALSE(library.SetCommandEntry("TA:1|||a"));
        EXPECT_FALSE(library.GetRunningApps(1).has_value());
        ASSERT_TRUE(library.Load(reason)) << reason;
        EXPECT_TRUE(library.SetCommandEntry("TA:1|||a"));
        EXPECT_EQ(library.GetRunningApps(1), 1);
        EXPECT_EQ(Log(), "8:TA:1|||a\n");
        std::filesystem::remove(m_Folder.Path() + "Zorvan2.dll");
        std::filesystem::remove(m_Folder.Path() + "commands.log");
    }
}

}  // namespace
}  // namespace tw::test
