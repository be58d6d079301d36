// The replies of the link layer must not depend on how the input is cut into
// chunks, and the unconsumed input must stay bounded whatever arrives.
#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "linkfixture.h"
#include "wire.h"

namespace tw::test {
namespace {

// A fresh port with status replies on: what it answered and which call
// alarms it raised.
class Station : GatewayFixture {
  public:
    static constexpr int16_t kPort = 5;

    explicit Station(int32_t espaTimeout, bool resync = false) {
        m_Gateway.m_General.ESPATimeout = espaTimeout;
        m_Gateway.m_Ports[kPort].ResyncOnUnrecognisedInput = resync;
        m_Gateway.m_Ports[kPort].PortKind = PortKindTcpClient;
        m_Gateway.m_Ports[kPort].SendInQueue = true;
        m_Socket.m_State = Socket::StateConnected;
    }

    void Receive(const std::string& chunk) { HandleReceivedESPA(m_Gateway, kPort, chunk); }
    const std::vector<std::string>& Replies() const { return m_Socket.m_SendCalls; }
    std::vector<std::string> DisplayTexts() const {
        std::vector<std::string> texts;
        for (const RecordedAlarm& alarm : m_Alarms.m_Alarms) {
            texts.push_back(alarm.m_Fields[4]);
        }
        return texts;
    }
    size_t Unconsumed() const { return m_Gateway.m_Runtime[kPort].ReceiveBuffer.size(); }

  private:
    FakeSocket& m_Socket = m_Data[kPort];
};

TEST(GrindTest, EverySplitOfARecordedDialogueGivesTheSameReplies) {
    struct Dialogue {
        const char* name;
        int32_t espaTimeout;
        std::string bytes;
        bool resync = false;
    };
    const Dialogue dialogues[] = {
        {"two calls", 20000,
         kSelect + kPoll + Block(Wire("1<US>12<RS>2<US>first")) + Block(Wire("2<US>second")) +
             kEot},
        {"bad block, then fetching the status blocks", 20000,
         kSelect + kPoll + BlockWithCheck(Wire("2<US>bad"), 'x') + Block(Wire("2<US>good")) + kEot +
             kPoll + kAck + kAck + kPoll},
        {"check character ETX and an empty block", 20000,
         Wire("1<ENQ>2<ENQ><SOH>1<STX>2<US>HI ?<ETX><ETX><SOH><STX><ETX><SOH><EOT>")},
        {"abandoned block", 20000,
         Wire("1<ENQ>2<ENQ><SOH>1<STX>2<US>A<SOH>1<STX>2<US>B<ETX><SOH><EOT>")},
        {"stray head blocks the port", 20000, "X" + kSelect + kPoll + Block(Wire("2<US>lost"))},
        {"stray input discarded without ESPA timeout", 0,
         Wire("X1<ENQ>12<ENQ><NAK>") + Block(Wire("2<US>kept")) + Wire("<127><EOT>22<ENQ>")},
        {"bare ENQ and a block repeated without SOH and check, resynchronised", 20000,
         Wire("<ENQ>") + kSelect + BlockWithCheck(Wire("2<US>bad"), 'x') +
             Wire("<STX>2<US>bad 12<ETX>") + kSelect + Block(Wire("2<US>good")) + kEot,
         true},
    };
    for (const Dialogue& dialogue : dialogues) {
        SCOPED_TRACE(dialogue.name);
        Station whole(dialogue.espaTimeout, dialogue.resync);
        whole.Receive(dialogue.bytes);
        for (size_t cut = 0; cut <= dialogue.bytes.size(); ++cut) {
            Station split(dialogue.espaTimeout, dialogue.resync);
            split.Receive(dialogue.bytes.substr(0, cut));
            split.Receive(dialogue.bytes.substr(cut));
            ASSERT_EQ(split.Replies(), whole.Replies()) << "cut at " << cut;
            ASSERT_EQ(split.DisplayTexts(), whole.DisplayTexts()) << "cut at " << cut;
        }
    }
}

// Random calls and polls as a control station sends them, with the replies
// the station must get.
struct Script {
    std::string m_Bytes;
    std::vector<std::string> m_Replies;
    std::vector<std::string> m_DisplayTexts;
};

Script RandomDialogues(std::mt19937& random, int sessions) {
    Script script;
    std::deque<std::string> queued;  // status blocks the gateway holds
    auto chance = [&](int percent) {
        return std::uniform_int_distribution<int>(0, 99)(random) < percent;
    };
    for (int session = 0; session < sessions; ++session) {
        if (chance(60)) {
            script.m_Bytes += kSelect + kPoll;
            script.m_Replies.push_back(kAck);
            const int blocks = std::uniform_int_distribution<int>(1, 4)(random);
            for (int b = 0; b < blocks; ++b) {
                const std::string text = "call " + std::to_string(random() % 100000);
                const std::string data = Wire("1<US>" + std::to_string(b) + "<RS>2<US>" + text);
                if (chance(85)) {
                    script.m_Bytes += Block(data);
                    script.m_Replies.push_back(kAck);
                    script.m_DisplayTexts.push_back(text);
                    queued.push_back(BuildStatusMessage(data, "2").m_SendBuffer);
                } else {
                    const char wrong = static_cast<char>(Block(data).back() ^ 0x40);
                    script.m_Bytes += BlockWithCheck(data, wrong);
                    script.m_Replies.push_back(kNak);
                }
            }
            script.m_Bytes += kEot;
            script.m_Replies.push_back(kEot);
        } else {
            script.m_Bytes += kPoll;
            if (queued.empty()) {
                script.m_Replies.push_back(kEot);
                continue;
            }
            script.m_Replies.push_back(kSelect);
            for (; !queued.empty(); queued.pop_front()) {
                script.m_Bytes += kAck;
                script.m_Replies.push_back(queued.front());
            }
            script.m_Bytes += kAck;
            script.m_Replies.push_back(kEot);
        }
    }
    return script;
}

TEST(GrindTest, RandomDialoguesInRandomChunksGetOneReplyPerElementInOrder) {
    std::mt19937 random(20190527);
    for (int round = 0; round < 40; ++round) {
        const Script script = RandomDialogues(random, 30);
        Station station(20000);
        for (size_t at = 0; at < script.m_Bytes.size();) {
            const size_t length = std::uniform_int_distribution<size_t>(0, 48)(random);
            station.Receive(script.m_Bytes.substr(at, length));
            at += length;
        }
        ASSERT_EQ(station.Replies(), script.m_Replies) << "round " << round;
        ASSERT_EQ(station.DisplayTexts(), script.m_DisplayTexts) << "round " << round;
        EXPECT_EQ(station.Unconsumed(), 0U);
    }
}

TEST(GrindTest, UnconsumedInputStaysBoundedUnderRandomGarbage) {
    const std::string protocolish = Wire("<SOH><STX><ETX><EOT><ENQ><ACK><NAK><RS><US>12x");
    struct Case {
        const char* name;
        int32_t espaTimeout;
        bool allBytes;  // else only the protocol's own characters
        bool resync = false;
    };
    const Case cases[] = {
        {"any byte, ESPA timeout", 20000, true},
        {"any byte, no ESPA timeout", 0, true},
        {"any byte, resynchronised", 20000, true, true},
        {"protocol characters, ESPA timeout", 20000, false},
        {"protocol characters, no ESPA timeout", 0, false},
        {"protocol characters, resynchronised", 20000, false, true},
    };
    std::mt19937 random(4711);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station station(c.espaTimeout, c.resync);
        for (int chunk = 0; chunk < 200; ++chunk) {
            std::string garbage(std::uniform_int_distribution<size_t>(0, 4096)(random), '\0');
            for (char& byte : garbage) {
                byte = c.allBytes ? static_cast<char>(random() & 0xff)
                                  : protocolish[std::uniform_int_distribution<size_t>(
                                        0, protocolish.size() - 1)(random)];
            }
            station.Receive(garbage);
            ASSERT_LE(station.Unconsumed(), kReceiveBufferLimit);
        }
    }
}

}  // namespace
}  // namespace tw::test
