#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "linkfixture.h"

namespace tw::test {
namespace {

// SOH 1 STX 1 US 123 RS 2 US HELLO ETX, check character 0x5F.
const std::string kHelloData = Wire("1<US>123<RS>2<US>HELLO");
const std::string kHelloBlock = Wire("<SOH>1<STX>1<US>123<RS>2<US>HELLO<ETX><95>");

// Remembers, for each alarm, how many replies had gone out and how many
// status blocks were queued when it was raised.
class WatchingAlarms : public RecordingAlarms {
  public:
    WatchingAlarms(const FakeSocket& socket, const PortRuntime& runtime)
        : m_Socket(socket), m_Runtime(runtime) {}
    void SendAlarm(int16_t AlarmState, const AlarmFields& fields) override {
        m_RepliesBefore.push_back(m_Socket.m_SendCalls.size());
        m_QueuedBefore.push_back(m_Runtime.SendQueue.size());
        RecordingAlarms::SendAlarm(AlarmState, fields);
    }
    const FakeSocket& m_Socket;
    const PortRuntime& m_Runtime;
    std::vector<size_t> m_RepliesBefore;
    std::vector<size_t> m_QueuedBefore;
};

class LinkLayerTest : public LinkFixture {
  protected:
    LinkLayerTest() { m_Alarms.m_Through = &m_Watching; }

    const std::vector<RecordedAlarm>& Alarms() const { return m_Watching.m_Alarms; }

    WatchingAlarms m_Watching{m_Socket, m_Gateway.m_Runtime[kPort]};
};

TEST_F(LinkLayerTest, AcceptsTheWorkedExampleWithTheFixedLayoutAlarmBeforeItsAck) {
    Receive(kHelloBlock);

    EXPECT_EQ(Replies(), std::vector<std::string>{kAck});
    ASSERT_EQ(Alarms().size(), 1U);
    EXPECT_EQ(Alarms()[0].m_State, 1);
    EXPECT_EQ(Alarms()[0].m_Fields, (AlarmFields{"Ward 3", "", "ESPA", "", "HELLO", ""}));
    EXPECT_EQ(m_Watching.m_RepliesBefore[0], 0U);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Got ESPA message: HELLO"});
    EXPECT_TRUE(Runtime().ReceiveBuffer.empty());
}

TEST_F(LinkLayerTest, AnswersEveryOtherCheckCharacterWithNakAndNothingElse) {
    Settings().SendInQueue = true;
    for (int check = 0; check < 256; ++check) {
        if (check == 0x5f) {
            continue;
        }
        Runtime().ESPAIdleTime = 500;
        m_Socket.m_SendCalls.clear();
        Receive(BlockWithCheck(kHelloData, static_cast<char>(check)));
        ASSERT_EQ(Replies(), std::vector<std::string>{kNak}) << check;
        EXPECT_EQ(Runtime().ESPAIdleTime, 0) << "the block counts as consumed";
    }
    EXPECT_TRUE(Alarms().empty());
    EXPECT_TRUE(Runtime().SendQueue.empty());
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(Runtime().ReceiveBuffer.empty());
}

TEST_F(LinkLayerTest, HandlesBlockShapes) {
    struct Row {
        const char* name;
        std::string chunk;
        std::vector<std::string> replies;
        std::vector<std::string> displayTexts;  // T4 of each call alarm
        std::string left;                       // unconsumed afterwards
    };
    const Row rows[] = {
        {"block without STX", Wire("<SOH>1<ETX>2"), {kNak}, {}, ""},
        {"check character ETX", Wire("<SOH>1<STX>2<US>HI ?<ETX><ETX>"), {kAck}, {"HI ?"}, ""},
        {"empty header and data", Wire("<SOH><STX><ETX><SOH>"), {kAck}, {""}, ""},
        {"no record 2", Block(Wire("1<US>123")), {kAck}, {""}, ""},
        {"abandoned block runs to the first ETX",
         Wire("<SOH>1<STX>2<US>A<SOH>1<STX>2<US>B<ETX><SOH>"),
         {kAck},
         {"A/1/2/B"},
         ""},
        {"check character not yet there",
         Wire("<SOH>1<STX>2<US>A<ETX>"),
         {},
         {},
         Wire("<SOH>1<STX>2<US>A<ETX>")},
        {"stray character before SOH", "X" + kHelloBlock, {}, {}, "X" + kHelloBlock},
        {"address digit without ENQ", "1" + kHelloBlock, {}, {}, "1" + kHelloBlock},
        {"NAK from the partner", kNak + kHelloBlock, {}, {}, kNak + kHelloBlock},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_Socket.m_SendCalls.clear();
        m_Watching.m_Alarms.clear();
        Runtime().ReceiveBuffer.clear();
        Receive(row.chunk);
        EXPECT_EQ(Replies(), row.replies);
        std::vector<std::string> displayTexts;
        for (const RecordedAlarm& alarm : Alarms()) {
            displayTexts.push_back(alarm.m_Fields[4]);
        }
        EXPECT_EQ(displayTexts, row.displayTexts);
        EXPECT_EQ(Runtime().ReceiveBuffer, row.left);
    }
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"Got ESPA message: HI ?", "Got ESPA message: ",
                                        "Got ESPA message: ", "Got ESPA message: A/1/2/B"}));
}

// Whole calls and fetches in any cutting are the grind's business.
TEST_F(LinkLayerTest, FollowsTheDialogueTable) {
    struct Row {
        const char* name;
        bool selected;
        size_t queuedBlocks;
        std::string input;
        std::vector<std::string> replies;
        bool selectedAfter;
        size_t queuedAfter;
    };
    const Row rows[] = {
        {"select", false, 0, kSelect, {}, true, 0},
        {"select again", true, 0, kSelect, {}, true, 0},
        {"poll while selected, blocks queued", true, 1, kPoll, {kAck}, true, 1},
        {"poll, a block queued", false, 1, kPoll, {kSelect}, false, 1},
        {"ACK with nothing queued", true, 0, kAck, {kEot}, true, 0},
        {"EOT while selected", true, 0, kEot, {kEot}, false, 0},
        {"EOT while not selected", false, 0, kEot, {}, false, 0},
        {"a lone address digit waits", false, 0, "2", {}, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_Socket.m_SendCalls.clear();
        Runtime().ReceiveBuffer.clear();
        Runtime().Selected = row.selected;
        Runtime().SendQueue.assign(row.queuedBlocks, BuildStatusMessage(kHelloData, "3"));
        Receive(row.input);
        EXPECT_EQ(Replies(), row.replies);
        EXPECT_EQ(Runtime().Selected, row.selectedAfter);
        EXPECT_EQ(Runtime().SendQueue.size(), row.queuedAfter);
    }
}

// Any consumed element ends a poll failure or a failed communication. Replies
// and call alarms of one pass come first, the restore alarm follows that
// pass; each block needs a pass of its own.
TEST_F(LinkLayerTest, ReportsTheRestoreOnceAfterTheFirstConsumingPass) {
    const std::string restored = "ESPA Connection 'Ward 3' (2) has been restored";
    struct Row {
        const char* name;
        int32_t pollFailTimeout;
        int32_t pollFailElapsed;
        bool commFailed;  // and so logged as restored
        std::string chunk;
        std::vector<std::string> replies;
        std::vector<std::string> alarms;  // T4 of each alarm
    };
    const Row rows[] = {
        {"poll failed", 60000, 60000, false, kEot, {}, {restored}},
        {"not yet poll failed", 60000, 59000, false, kEot, {}, {}},
        {"no poll supervision", 0, 90000, false, kEot, {}, {}},
        {"communication failed", 0, 0, true, kEot, {}, {}},
        {"two blocks in one chunk",
         60000,
         60000,
         false,
         Block(Wire("2<US>first")) + Block(Wire("2<US>second")),
         {kAck, kAck},
         {"first", restored, "second"}},
        {"select, poll and block in one pass",
         60000,
         60000,
         false,
         kSelect + kPoll + Block(Wire("2<US>call")) + kEot,
         {kAck, kAck, kEot},
         {"call", restored}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_Socket.m_SendCalls.clear();
        m_Watching.m_Alarms.clear();
        Settings().PollFailTimeout = row.pollFailTimeout;
        Runtime().PollFailElapsed = row.pollFailElapsed;
        Runtime().PollFailRemindElapsed = 7000;
        Runtime().ESPAIdleTime = 7000;
        Runtime().CommFailed = row.commFailed;
        Receive(row.chunk);
        EXPECT_EQ(Replies(), row.replies);
        EXPECT_EQ(Runtime().PollFailElapsed, 0);
        EXPECT_EQ(Runtime().PollFailRemindElapsed, 0);
        EXPECT_EQ(Runtime().ESPAIdleTime, 0);
        EXPECT_FALSE(Runtime().CommFailed);
        std::vector<std::string> alarms;
        for (const RecordedAlarm& alarm : Alarms()) {
            alarms.push_back(alarm.m_Fields[4]);
            if (alarm.m_Fields[4] == restored) {
                EXPECT_EQ(alarm.m_State, 0);
                EXPECT_EQ(alarm.m_Fields,
                          (AlarmFields{"Ward 3", "", "PollFail", "", restored, ""}));
            }
        }
        EXPECT_EQ(alarms, row.alarms);
        Lines lines = NewLogLines();
        std::erase_if(lines, [](const std::string& line) { return line.starts_with("Got ESPA"); });
        EXPECT_EQ(lines, row.commFailed ? Lines{"ESPA communication (2) restored"} : Lines{});
    }
}

TEST_F(LinkLayerTest, CountsReceivedCharactersIntoTheRxColumn) {
    struct Row {
        int32_t before;
        std::string chunk;
        const char* column;
    };
    const Row rows[] = {
        {0, kHelloBlock, "18"},
        {65530, "0123456789", "0"},
        {65530, "01234", "65535"},
        {5, "", "5"},
    };
    for (const Row& row : rows) {
        Runtime().RxBytes = row.before;
        Runtime().ReceiveBuffer.clear();
        Receive(row.chunk);
        EXPECT_EQ(m_View.PortColumn(kPort, View::ColumnRxBytes), row.column) << row.before;
    }
}

TEST_F(LinkLayerTest, QueuesTheConfiguredStatusBlocksInOrderBeforeTheAlarm) {
    Settings().SendInQueue = true;
    Settings().SendPaged = true;
    Settings().SendTerminated = true;
    Receive(kHelloBlock);
    std::vector<std::string> queued;
    for (const cESPACall& call : Runtime().SendQueue) {
        queued.push_back(call.m_SendBuffer);
    }
    EXPECT_EQ(queued, (std::vector<std::string>{BuildStatusMessage(kHelloData, "2").m_SendBuffer,
                                                BuildStatusMessage(kHelloData, "3").m_SendBuffer,
                                                BuildStatusMessage(kHelloData, "5").m_SendBuffer}));
    EXPECT_EQ(m_Watching.m_QueuedBefore, std::vector<size_t>{3});
}

TEST_F(LinkLayerTest, ConvertsOnlyTheDisplayTextAndQueuesTheDataAsReceived) {
    Settings().Swedish7BitASCII2ISOLatin1 = true;
    Settings().DOSASCII2ISOLatin1 = true;
    Settings().SendPaged = true;
    const std::string data = Wire("1<US>[1]<RS>2<US>[<142>|");
    Receive(Block(data));
    ASSERT_EQ(Alarms().size(), 1U);
    EXPECT_EQ(Alarms()[0].m_Fields[4], Wire("<196><196><246>"));
    ASSERT_EQ(Runtime().SendQueue.size(), 1U);
    EXPECT_EQ(Runtime().SendQueue[0].m_SendBuffer, BuildStatusMessage(data, "3").m_SendBuffer);
    EXPECT_EQ(Runtime().SendQueue[0].m_CallAddress, "[1]");
}

TEST_F(LinkLayerTest, BuildsTheCallAlarmFromTheFixedLayout) {
    struct Row {
        bool split;
        std::string display;
        std::string t1;
        std::string t4;
    };
    const Row rows[] = {
        {true, "Room 12 / Bed 2 / x", "Room 12", "Bed 2 / x"},
        {true, "Room 12", "", "Room 12"},
        {false, "Room 12 / Bed 2", "", "Room 12 / Bed 2"},
        {false, "a|b", "", "a|b"},  // "|" stays in this layout
    };
    for (const Row& row : rows) {
        m_Watching.m_Alarms.clear();
        m_Gateway.m_General.SplitT1andT4fromT4UsingSlash = row.split;
        Receive(Block(Wire("2<US>") + row.display));
        ASSERT_EQ(Alarms().size(), 1U);
        EXPECT_EQ(Alarms()[0].m_Fields, (AlarmFields{"Ward 3", row.t1, "ESPA", "", row.t4, ""}))
            << row.display;
    }
}

TEST_F(LinkLayerTest, BuildsTheCallAlarmFromTheTemplatesReadForEveryCall) {
    m_Gateway.m_General.UseFormatSection = true;
    m_Ini.Write("Tellwick.ini", "[Format]\nT0=Ward|3\nT2=  Nurse   call  \nT5=a\t|b\n");
    Receive(kHelloBlock);
    m_Ini.Write("Tellwick.ini", "[Format]\nT1=changed\n");
    Receive(kHelloBlock);
    ASSERT_EQ(Alarms().size(), 2U);
    EXPECT_EQ(Alarms()[0].m_Fields, (AlarmFields{"Ward3", "", "Nurse call", "", "", "a/b"}));
    EXPECT_EQ(Alarms()[1].m_Fields, (AlarmFields{"", "changed", "", "", "", ""}));
    EXPECT_EQ(Replies(), (std::vector<std::string>{kAck, kAck}));
}

// The clock moves on at every reading; one call reads it once, so no field,
// log line or trace line of the call carries the next day.
TEST_F(LinkLayerTest, OneCallCarriesOneTimeEvenAcrossMidnight) {
    m_Gateway.m_General.UseFormatSection = true;
    m_Ini.Write("Tellwick.ini",
                "[Format]\nDateFormat=yyyy-mm-dd\nTimeFormat=hh:nn:ss\nT0=[DATE] [TIME]\n"
                "T1=[TIME]\nT3=[DATE]\nT5=[PCDATE] [ALARMTIME]\n");
    LocalTime lastMoment = MakeLocalTime(2019, 12, 31, 23, 59, 59);
    lastMoment.Millisecond = 999;
    m_Clock.Set(lastMoment);
    m_Clock.m_Ticking = true;
    m_Gateway.BeginEvent();
    Receive(kHelloBlock);
    ASSERT_EQ(Alarms().size(), 1U);
    EXPECT_EQ(Alarms()[0].m_Fields, (AlarmFields{"2019-12-31 23:59:59", "23:59:59", "",
                                                 "2019-12-31", "", "2019-12-31 23:59:59"}));
    EXPECT_EQ(m_Folder.Read("LogFiles/20191231.Log"),
              "19-12-31 23:59:59 Got ESPA message: HELLO\r\n");
    EXPECT_FALSE(m_Folder.Exists("LogFiles/20200101.Log"));
    for (const std::string& line : m_View.m_Lines) {
        EXPECT_EQ(line.substr(0, 9), "23:59:59 ") << line;
    }
}

TEST_F(LinkLayerTest, EmptiesOverlongInputAsAFailedCommunication) {
    const std::string open = Wire("<SOH>1<STX>");
    Receive(open + std::string(kReceiveBufferLimit - open.size(), 'x'));
    EXPECT_EQ(Runtime().ReceiveBuffer.size(), kReceiveBufferLimit) << "at the limit it stays";
    EXPECT_TRUE(LogLines().empty());

    Runtime().ESPAIdleTime = 4000;
    Receive("y");
    EXPECT_TRUE(Runtime().ReceiveBuffer.empty());
    EXPECT_TRUE(Runtime().CommFailed);
    EXPECT_EQ(Runtime().ESPAIdleTime, 0);
    Receive(std::string(kReceiveBufferLimit + 1, 'z'));
    EXPECT_TRUE(Runtime().ReceiveBuffer.empty());
    EXPECT_EQ(LogLines(), std::vector<std::string>{"ESPA communication (2) failed"});

    Receive(kHelloBlock);
    EXPECT_EQ(Replies(), std::vector<std::string>{kAck});
    EXPECT_EQ(LogLines().back(), "ESPA communication (2) restored");
}

TEST_F(LinkLayerTest, AnswersEveryBlockOfAChunkLongerThanTheLimit) {
    std::string chunk;
    size_t blocks = 0;
    while (chunk.size() <= kReceiveBufferLimit) {
        chunk += Block(Wire("2<US>call ") + std::to_string(blocks++));
    }
    Receive(chunk + Wire("<SOH>"));
    EXPECT_EQ(Replies(), std::vector<std::string>(blocks, kAck));
    EXPECT_EQ(Runtime().ReceiveBuffer, Wire("<SOH>"));
    EXPECT_FALSE(Runtime().CommFailed);
}

TEST_F(LinkLayerTest, DropsTheOldestStatusBlocksOfAFullQueueWithOneLinePerEpisode) {
    Settings().SendInQueue = true;
    for (size_t k = 0; k <= kSendQueueLimit + 5; ++k) {
        Receive(Block(Wire("1<US>") + std::to_string(k)));
    }
    std::deque<cESPACall>& queue = Runtime().SendQueue;
    ASSERT_EQ(queue.size(), kSendQueueLimit);
    EXPECT_EQ(queue.front().m_CallAddress, "6");
    EXPECT_EQ(queue.back().m_CallAddress, std::to_string(kSendQueueLimit + 5));
    const std::string dropped = "ESPA status queue (2) full, oldest status messages dropped";
    auto count = [&] {
        const std::vector<std::string> lines = LogLines();
        return std::count(lines.begin(), lines.end(), dropped);
    };
    EXPECT_EQ(count(), 1);

    Receive(kAck);  // the partner fetches one: the episode is over
    EXPECT_EQ(queue.front().m_CallAddress, "7");
    Receive(Block(Wire("1<US>a")) + Block(Wire("1<US>b")));
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(queue.size(), kSendQueueLimit);
}

// Without an ESPA timeout, or with ResyncOnUnrecognisedInput, an unrecognised
// head is dropped at once and the elements behind it are answered.
TEST_F(LinkLayerTest, AnUnrecognisedHeadIsDiscardedAtOnceAndLoggedOncePerEpisode) {
    const std::string outOfStep =
        "ESPA communication (2) out of step, unrecognised input discarded";
    struct Row {
        std::string chunk;
        std::vector<std::string> replies;
        std::string left;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"Xyz" + kSelect + kPoll, {kAck}, "", {outOfStep}},
        {kNak + kNak + kPoll, {kEot}, "", {outOfStep}},
        {"11" + kPoll, {kEot}, "", {outOfStep}},  // each "1" without ENQ is dropped
        {Wire("X<SOH>1<STX>"), {}, Wire("<SOH>1<STX>"), {outOfStep}},
        {"junk", {}, "", {outOfStep}},
        {"X" + kEot + "X", {}, "", {outOfStep, outOfStep}},  // an element ends the episode
        {"1", {}, "1", {}},
        {Wire("<ENQ>") + kSelect + kHelloBlock, {kAck}, "", {outOfStep, "Got ESPA message: HELLO"}},
        // A block sent again after a NAK without its SOH and check character.
        {Wire("<STX>") + kHelloData + Wire("<ETX>") + kSelect + kHelloBlock,
         {kAck},
         "",
         {outOfStep, "Got ESPA message: HELLO"}},
    };
    for (const bool resync : {false, true}) {
        SCOPED_TRACE(resync ? "ResyncOnUnrecognisedInput" : "no ESPA timeout");
        m_Gateway.m_General.ESPATimeout = resync ? 20000 : 0;
        Settings().ResyncOnUnrecognisedInput = resync;
        for (const Row& row : rows) {
            SCOPED_TRACE(row.chunk);
            m_Socket.m_SendCalls.clear();
            Runtime().ReceiveBuffer.clear();
            Runtime().Selected = false;
            Runtime().DiscardingInput = false;
            Receive(row.chunk);
            EXPECT_EQ(Replies(), row.replies);
            EXPECT_EQ(Runtime().ReceiveBuffer, row.left);
            EXPECT_EQ(NewLogLines(), row.lines);
        }
    }
}

}  // namespace
}  // namespace tw::test
