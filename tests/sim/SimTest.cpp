// The signal model, and the simulated boards reached as the program reaches
// them: the HID module through dlopen and the streaming board through a real
// pseudo-terminal, both driven by the real board connection.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "device/HidLibrary.h"
#include "device/TermiosSerialDevice.h"
#include "fakes/DeviceFakes.h"
#include "sim/SerialFrames.h"
#include "sim/SimHidBoard.h"
#include "sim/SimulatedSerialDevice.h"

namespace keyscope::sim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

TEST(SignalModel, CountsStayInRangeAndTheKeyCodeNamesTheKeyWhileItIsPressed) {
    for (const CountWidth width : {CountWidth::Byte, CountWidth::Word}) {
        const SignalModel model(4242, width);
        EXPECT_LE(model.maxCount(), width == CountWidth::Byte ? 255 : 2047);
        EXPECT_GT(model.minCount(), 0);
        std::set<std::int64_t> touchStarts;
        std::map<std::int64_t, std::set<int>> keysOfRun;
        for (std::int64_t t = 0; t < 120'000; t += 10) {
            const auto touch = model.touchAt(t);
            for (int k = 0; k < kSimKeyCount; ++k) {
                const int c = model.count(k, t);
                ASSERT_GE(c, model.minCount());
                ASSERT_LE(c, touch && touch->key == k ? model.maxCount() : model.referenceCount(k));
                if (!touch || touch->key != k) {  // untouched: a narrow band below the reference
                    ASSERT_GE(c, model.baseline(k) - 12) << "key " << k << " at " << t;
                }
            }
            ASSERT_EQ(model.keyCode(t), touch ? 0x30 + touch->key : 0) << "at " << t;
            if (!touch)
                continue;
            ASSERT_EQ(touch->depth, kKeyProfiles[touch->key].depth);
            ASSERT_GE(touch->endMs - touch->startMs, SignalModel::kMinTouchMs);
            ASSERT_LE(touch->endMs - touch->startMs, SignalModel::kMaxTouchMs);
            // A full press takes the key well below its resting band.
            EXPECT_LT(model.count(touch->key, (touch->startMs + touch->endMs) / 2),
                      model.baseline(touch->key) - SignalModel::kMinTouchDepth + 12);
            touchStarts.insert(touch->startMs);
            keysOfRun[t / (SignalModel::kSlotMs * kSimKeyCount)].insert(touch->key);
        }
        // Every slot holds a touch, and every run of sixteen slots touches every key.
        EXPECT_EQ(touchStarts.size(), static_cast<std::size_t>(120'000 / SignalModel::kSlotMs + 1));
        for (const auto& [run, keys] : keysOfRun)
            EXPECT_TRUE(keys.size() == kSimKeyCount || run == 120'000 / (16 * SignalModel::kSlotMs))
                << "run " << run;
    }
}

TEST(SignalModel, BadKeysTimesAndSeedTextsAreHarmless) {
    const SignalModel model(9, CountWidth::Word);
    EXPECT_EQ(model.count(-1, 100) + model.count(16, 100) + model.referenceCount(16), 0);
    EXPECT_EQ(model.counts(-500), model.counts(0));
    for (const auto& [text, seed] : {std::pair{"1234", 1234u}, {"0x10", 16u}, {"0", 0u}}) {
        ::setenv("KEYSCOPE_SIM_SEED", text, 1);
        EXPECT_EQ(seedFromEnvironment(), seed) << text;
    }
    ::setenv("KEYSCOPE_SIM_SEED", "12abc", 1);  // falls back to the clock, not the prefix
    EXPECT_NE(seedFromEnvironment(), 12u);
    ::unsetenv("KEYSCOPE_SIM_SEED");
}

TEST(SimHidBoard, Typed16PairsCarryOneSnapshotAndBadCallsAreRefused) {
    SimHidBoard board(HidKind::Typed16, 5);
    EXPECT_NE(board.readData(nullptr), 0);
    ASSERT_EQ(board.open(292, 0, 0), 0);
    EXPECT_TRUE(board.readKey(nullptr) != 0 && board.write(nullptr) != 0);
    std::array<std::uint8_t, kSimReportSize> low{}, high{};
    const auto word = [](const auto& r, int i) { return r[1 + 2 * i] | (r[2 + 2 * i] << 8); };
    for (int poll = 1; poll <= 40; ++poll) {
        ASSERT_EQ(board.readData(low.data()) + board.readData(high.data()), 0);
        ASSERT_EQ(low[22], 0x85);
        ASSERT_EQ(high[22], 0xC5);
        ASSERT_EQ(board.clockMs(), poll * SimHidBoard::kPollMs);
        const auto counts = board.model().counts(board.clockMs());
        for (int k = 0; k < 8; ++k) {
            ASSERT_EQ(word(low, k), counts[k]);
            ASSERT_EQ(word(high, k), counts[8 + k]);
        }
        EXPECT_EQ(low[18], board.model().keyCode(board.clockMs()));
        EXPECT_EQ(high[18], low[18]);
    }
    EXPECT_NE(board.read(64, low.data()), 0) << "a typed board has no plain read";
    SimHidBoard plain(HidKind::Plain, 3);
    ASSERT_EQ(plain.open(296, 0, 0), 0);
    EXPECT_NE(plain.read(32, low.data()), 0) << "a short buffer is refused";
}

// The module keeps its board while loaded, so each connection loads its own
// copy of the file: a new path gives fresh module state.
struct HidRig : fakes::FakeBoard {
    HidRig() {
        fs::copy_file(KEYSCOPE_SIMHID_MODULE, path, fs::copy_options::overwrite_existing);
        BoardCollaborators p;
        p.pauser = &pauser;
        p.messages = &messages;
        p.notifier = &notifier;
        p.hid = std::make_unique<HidLibrary>(path);
        board = std::make_unique<BoardConnection>(std::move(p));
    }
    ~HidRig() { fs::remove(path); }
    inline static int copies = 0;
    const std::string path =
        fs::temp_directory_path() /
        ("keyscope-simhid-" + std::to_string(::getpid()) + "-" + std::to_string(copies++) + ".so");
};

class SimHidModule : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("KEYSCOPE_SIM_HID");
        ::unsetenv("KEYSCOPE_SIM_FAIL_AFTER");
        ::setenv("KEYSCOPE_SIM_SEED", "99", 1);
    }
};

TEST_F(SimHidModule, EachKindOpensWithItsIdAndReportFormAndAWriteReadsBack) {
    // kind (unset, unknown: typed16), link mode, byte values, max values are references
    for (const auto& [kind, linkMode, byteValues, typed] : {std::tuple{"", kLinkHidTyped, 0, true},
                                                            {"typed16", kLinkHidTyped, 0, true},
                                                            {"typed8", kLinkHidTyped, 1, true},
                                                            {"plain", kLinkHidPlain, 1, false},
                                                            {"bogus", kLinkHidTyped, 0, true}}) {
        SCOPED_TRACE(kind);
        ::setenv("KEYSCOPE_SIM_HID", kind, 1);
        HidRig rig;
        BoardConnection& board = *rig.board;
        ASSERT_EQ(board.open(kSelectorHid), 1);
        EXPECT_EQ(board.linkMode(), linkMode);
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(board.readCycle(), 1);
        EXPECT_EQ(board.isByteValues(), byteValues);
        const SignalModel model(99, byteValues ? CountWidth::Byte : CountWidth::Word);
        for (int k = 0; k < kSimKeyCount; ++k) {
            const ChannelRecord& record = *board.getChannel(k);
            ASSERT_EQ(record.samples.size(), 6u) << "key " << k;
            EXPECT_GE(record.value, model.minCount()) << "key " << k;
            EXPECT_LE(record.value, model.maxCount()) << "key " << k;
            EXPECT_TRUE(!typed || record.maxValue == model.referenceCount(k)) << "key " << k;
        }
        ASSERT_EQ(board.close(), 1);
        ASSERT_EQ(board.open(kSelectorHid), 1) << "the module's board survives a close";
        // The settings come back in every report form; only typed boards keep key values.
        board.setTriggerLevel(0x42);
        board.setPreScale(5);
        board.setTktmr(0x84);
        board.getChannel(7)->keyValue = 107;
        ASSERT_EQ(board.writeKeyValues(), 1);
        board.getChannel(7)->keyValue = 0;
        board.setTriggerLevel(0);
        ASSERT_EQ(board.readKeyValues(), 1);
        EXPECT_EQ(board.getChannel(7)->keyValue == 107, typed);
        EXPECT_EQ(std::tuple(board.getTriggerLevel(), board.getPreScale(), board.getTktmr()),
                  std::tuple(0x42, 5, 0x84));
    }
}

TEST_F(SimHidModule, SameSeedGivesTheSameSamplesWithTouches) {
    HidRig first, second;
    std::vector<std::pair<std::int32_t, std::int32_t>> seen[2];  // value, key code
    for (HidRig* rig : {&first, &second}) {
        ASSERT_EQ(rig->board->open(kSelectorHid), 1);
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(rig->board->readCycle(), 1);
        for (int k = 0; k < kSimKeyCount; ++k)
            for (const KeySample& sample : rig->board->getChannel(k)->samples)
                seen[rig == &second].emplace_back(sample.value, sample.keyCode);
    }
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_TRUE(std::any_of(seen[0].begin(), seen[0].end(), [](auto s) {
        return s.second >= 0x30;
    })) << "five seconds of signal hold a touch";
}

// KEYSCOPE_SIM_FAIL_AFTER runs end to end in RecorderProcessTest.

TEST(SerialFrames, FramesCarryTheKeyCodeThenEachKeyOrEachReference) {
    const SignalModel model(3, CountWidth::Word);
    std::int64_t touched = 0;
    while (model.keyCode(touched) == 0)
        touched += 10;
    for (const std::int64_t t : {std::int64_t{-1}, std::int64_t{0}, touched}) {
        const std::vector<std::uint8_t> frame = t < 0 ? referenceFrame(model) : dataFrame(model, t);
        const int first = t < 0 ? 0 : 1;  // a data frame starts with the key-code triplet
        ASSERT_EQ(frame.size(), 3u + 3 * (16 + first));
        EXPECT_EQ(frame[0], t < 0 ? kReferenceFrame : kDataFrame);
        EXPECT_EQ(frame[1], 3 * (16 + first));
        if (first) {
            EXPECT_EQ(std::pair(frame[2], frame[3]), std::pair(kKeyCodeTriplet, model.keyCode(t)));
        }
        for (int k = 0; k < kSimKeyCount; ++k) {
            const std::uint8_t* triplet = &frame[2 + 3 * (k + first)];
            EXPECT_EQ(triplet[0], 0x30 + k);
            EXPECT_EQ(triplet[1] | (triplet[2] << 8),
                      t < 0 ? model.referenceCount(k) : model.count(k, t));
        }
    }
}

// Not a speed test: pacing is part of the protocol (a board can send no
// faster than its line), checked over a short bounded window.
TEST(SimulatedSerial, At1200BaudDeliversAtMost120BytesPerSecondAndCloseRemovesTheTerminal) {
    SimulatedSerialDevice device(std::make_unique<TermiosSerialDevice>(), 11);
    ASSERT_TRUE(device.open("COM1"));
    const std::string terminal = device.terminalPath();
    EXPECT_TRUE(fs::exists(terminal));
    const Clock::time_point begin = Clock::now();
    ASSERT_TRUE(device.readConfig() && device.writeConfig(1200) && device.setNonBlockingReads());
    std::vector<std::uint8_t> received;
    std::array<std::uint8_t, 600> buffer{};
    while (Clock::now() - begin < std::chrono::milliseconds(1500)) {
        const long n = device.read(buffer.data(), buffer.size());
        ASSERT_GE(n, 0);
        received.insert(received.end(), buffer.begin(), buffer.begin() + n);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    EXPECT_LE(received.size(), 120.0 * seconds);
    ASSERT_FALSE(received.empty()) << "one 51-byte frame fits in well under 1.5 s";
    EXPECT_EQ(received[0], kReferenceFrame) << "a board starts with its references";
    EXPECT_TRUE(device.close());
    EXPECT_FALSE(fs::exists(terminal));
    EXPECT_TRUE(device.terminalPath().empty());

    SimulatedSerialDevice missing(nullptr, 1);  // fails cleanly without a real device
    EXPECT_FALSE(missing.open("COM1") || missing.readConfig() || missing.writeConfig(9600));
    EXPECT_EQ(missing.read(buffer.data(), 1), -1);
    EXPECT_TRUE(missing.close());
}

}  // namespace
}  // namespace keyscope::sim
