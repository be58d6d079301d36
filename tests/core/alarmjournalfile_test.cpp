#include "core/alarmjournalfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/tempfolder.h"

namespace tw {
namespace {

using test::TempFolder;
using Texts = std::vector<std::string>;

Texts TextsOf(const JournalContents& contents) {
    Texts texts;
    for (const JournaledAlarm& alarm : contents.Alarms) {
        texts.push_back(alarm.Text);
    }
    return texts;
}

JournaledAlarm Numbered(uint64_t sequence) {
    return {sequence, static_cast<int64_t>(1000 + sequence), "Alarm " + std::to_string(sequence)};
}

class AlarmJournalFileTest : public ::testing::Test {
  protected:
    std::string Path() const { return m_Folder.Path() + kAlarmJournalFileName; }
    JournalContents RestoreFrom(const std::string& bytes) {
        m_Folder.Write(kAlarmJournalFileName, bytes);
        return AlarmJournalFile(Path()).Restore();
    }

    TempFolder m_Folder;
};

// The records written: alarms 1 to 4 added, 2 removed, 5 added; each record
// is 32 bytes but the removal, 17. The file is cut anywhere in its last
// record, or one byte of an earlier record is damaged: the other records
// are restored as written, the damage is logged, and what is added after the
// restore is found by the next one.
TEST_F(AlarmJournalFileTest, ACutOrADamagedRecordLeavesEveryOtherRecordIntact) {
    {
        AlarmJournalFile journal(Path());
        journal.Restore();
        for (uint64_t sequence = 1; sequence <= 4; ++sequence) {
            ASSERT_TRUE(journal.Add({Numbered(sequence)}));
        }
        ASSERT_TRUE(journal.Remove(2));
        ASSERT_TRUE(journal.Add({Numbered(5)}));
    }
    const std::string written = m_Folder.Read(kAlarmJournalFileName);
    const std::vector<size_t> starts = {0, 32, 64, 96, 128, 145};
    ASSERT_EQ(written.size(), 177U);
    // What is restored when one record is lost, by record; the last, intact.
    const std::vector<Texts> without = {
        {"Alarm 3", "Alarm 4", "Alarm 5"},
        {"Alarm 1", "Alarm 3", "Alarm 4", "Alarm 5"},  // the removal finds nothing
        {"Alarm 1", "Alarm 4", "Alarm 5"},
        {"Alarm 1", "Alarm 3", "Alarm 5"},
        {"Alarm 1", "Alarm 2", "Alarm 3", "Alarm 4", "Alarm 5"},
        {"Alarm 1", "Alarm 3", "Alarm 4"},
        {"Alarm 1", "Alarm 3", "Alarm 4", "Alarm 5"},
    };
    for (size_t cut = starts[5]; cut <= written.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const JournalContents kept = RestoreFrom(written.substr(0, cut));
        const size_t torn = cut == written.size() ? 0 : cut - starts[5];
        EXPECT_EQ(TextsOf(kept), without[cut == written.size() ? 6 : 5]);
        EXPECT_EQ(kept.Notes, torn == 0 ? Texts{}
                                        : Texts{"AlarmBuffer.journal: last record incomplete (" +
                                                std::to_string(torn) + " bytes), ignored"});
        ASSERT_TRUE(AlarmJournalFile(Path()).Restore().Notes.empty());
    }
    for (size_t at = 0; at < starts[5]; ++at) {
        SCOPED_TRACE("damaged at " + std::to_string(at));
        std::string damaged = written;
        damaged[at] = static_cast<char>(damaged[at] ^ 0xFF);
        const size_t record = static_cast<size_t>(
            std::upper_bound(starts.begin(), starts.end(), at) - starts.begin() - 1);
        const JournalContents kept = RestoreFrom(damaged);
        EXPECT_EQ(TextsOf(kept), without[record]);
        EXPECT_EQ(kept.Notes, Texts{"AlarmBuffer.journal: " +
                                    std::to_string(starts[record + 1] - starts[record]) +
                                    " damaged bytes skipped"});
        EXPECT_EQ(kept.LastSequence, 5U);
        if (at != starts[record]) {
            continue;
        }
        AlarmJournalFile again(Path());
        again.Restore();
        ASSERT_TRUE(again.Add({Numbered(6)}));
        Texts expected = without[record];
        expected.push_back("Alarm 6");
        EXPECT_EQ(TextsOf(AlarmJournalFile(Path()).Restore()), expected);
    }
}

// 50 alarms held while 2,000 pass through: the file stays within about twice
// what the held ones take, comes back oldest first, and is empty once
// nothing is held.
TEST_F(AlarmJournalFileTest, TheFileStaysBoundedAndIsEmptyWhenNothingIsHeld) {
    const std::string text(1000, 'x');
    AlarmJournalFile journal(Path());
    journal.Restore();
    uintmax_t largest = 0;
    for (uint64_t sequence = 1; sequence <= 2000; sequence += 10) {
        std::vector<JournaledAlarm> batch;
        for (uint64_t k = sequence; k < sequence + 10; ++k) {
            batch.push_back({k, 0, text});
        }
        ASSERT_TRUE(journal.Add(batch));
        for (uint64_t k = sequence; k < sequence + 10 && k > 50; ++k) {
            ASSERT_TRUE(journal.Remove(k - 50));
        }
        largest = std::max(largest, std::filesystem::file_size(Path()));
    }
    EXPECT_LT(largest, 2 * 50 * 1025 + 64 * 1024 + 10 * 1025);
    const JournalContents kept = AlarmJournalFile(Path()).Restore();
    ASSERT_EQ(kept.Alarms.size(), 50U);
    EXPECT_EQ(kept.Alarms.front().Sequence, 1951U);
    EXPECT_EQ(kept.Alarms.back().Sequence, 2000U);
    EXPECT_EQ(kept.LastSequence, 2000U);
    AlarmJournalFile last(Path());
    last.Restore();
    for (uint64_t sequence = 1951; sequence <= 2000; ++sequence) {
        ASSERT_TRUE(last.Remove(sequence));
    }
    EXPECT_EQ(std::filesystem::file_size(Path()), 0U);
}

TEST_F(AlarmJournalFileTest, ALinkInPlaceOfTheJournalIsLeftAsItIs) {
    m_Folder.Write("target", "untouched");
    std::filesystem::create_symlink(m_Folder.Path() + "target", Path());
    AlarmJournalFile linked(Path());
    EXPECT_EQ(linked.Restore().Notes,
              Texts{"Could not read AlarmBuffer.journal (Too many levels of symbolic links), so "
                    "nothing is restored and it is left as it is"});
    EXPECT_FALSE(linked.Add({Numbered(1)}));
    EXPECT_FALSE(linked.Remove(1));
    EXPECT_EQ(m_Folder.Read("target"), "untouched");
    EXPECT_TRUE(std::filesystem::is_symlink(Path()));
}

}  // namespace
}  // namespace tw
