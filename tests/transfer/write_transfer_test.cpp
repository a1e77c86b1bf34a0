// Writing files into the simulated sensor: the bytes on the line, the sensor's memory, the
// rewritten common file and every refusal of a file that would send undefined data.

#include "transfer/transfer_fixture.h"

namespace zar4::test {
namespace {

using namespace zar4::texts;

Bytes putParameterBlock(int item, const std::vector<std::uint16_t>& words) {
    Bytes payload{static_cast<std::uint8_t>(item)};
    for (auto w : words) {
        payload.push_back(static_cast<std::uint8_t>(w & 0xFF));
        payload.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return frame(Command::PutParameterBlock, payload);
}

std::vector<std::uint16_t> bankWords(int seed) {
    std::vector<std::uint16_t> w(32);
    for (int i = 0; i < 32; ++i)
        w[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(seed * 1000 + i * 7);
    w[8] = 236;
    w[9] = 208;
    return w;
}

// A pattern file whose pixels differ from the sensor's: stripes, some of them masked.
std::string stripedPattern(int bank) {
    std::vector<std::uint16_t> words(sim::kPatternWords);
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<std::uint16_t>((i * 37 + static_cast<std::size_t>(bank)) & 0xFFFF);
    return patternFileFromWords(words);
}

class WriteTransfer : public SensorTest {
protected:
    void SetUp() override { startSensor(); }
    void writeBankFile(int bank, const std::vector<std::uint16_t>& words, bool crlf = false) {
        std::string text;
        for (auto w : words)
            text += std::to_string(w) + (crlf ? "\r\n" : "\n");
        writeFile(paramFile(bank), text);
    }
};

TEST_F(WriteTransfer, ParametersAreQueriedTwiceThenSentAndTheCommonFileGrowsTo32Lines) {
    auto bank3 = bankWords(3);
    writeBankFile(3, bank3, true); // an editor file, CR LF
    writeFile(paramFile(15), "7\n0\n250\n40\n1064\n");
    auto before = model();

    EXPECT_EQ(run(Operation::Write, 3, 3, true, false), TransferOutcome::Completed);

    std::vector<std::uint16_t> common(before.common.begin(), before.common.end());
    common[0] = 7;
    common[1] = 0;
    common[2] = 250;
    common[3] = 40;
    common[4] = 1064;
    Bytes expected = getParameterBlock(3);
    append(expected, getParameterBlock(3));
    append(expected, putParameterBlock(3, bank3));
    append(expected, getParameterBlock(15));
    append(expected, getParameterBlock(15));
    append(expected, putParameterBlock(15, common));
    EXPECT_EQ(wire(), expected);

    auto after = model();
    EXPECT_EQ(std::vector<std::uint16_t>(after.bank[3].begin(), after.bank[3].end()), bank3);
    EXPECT_EQ(readFile(paramFile(15)), wordLines(common.data(), 32));
    EXPECT_EQ(view.status,
              (std::vector<std::string>{kWritingBankParameters, kWritingCommonParameters,
                                        kWritingPatterns, kWriteCompleted}));
    // Bank 3: two queries, the block sent, done.
    std::vector<int> bank3Progress(view.progress.begin() + 4, view.progress.begin() + 8);
    EXPECT_EQ(bank3Progress, (std::vector<int>{256, 256, 384, 512}));
}

TEST_F(WriteTransfer, PatternsOfBanks2To3QueryAll16ItemsButSendOnlyTheirOwn) {
    std::string p2 = stripedPattern(2), p3 = stripedPattern(3);
    writeFile(patternFile(2), p2);
    writeFile(patternFile(3), p3);
    EXPECT_EQ(run(Operation::Write, 2, 3, false, true), TransferOutcome::Completed);

    Bytes expected;
    for (int item = 0; item <= 15; ++item) {
        append(expected, getParameterBlock(item));
        if (item == 2)
            append(expected, patternWriteBytes(2, p2));
        if (item == 3)
            append(expected, patternWriteBytes(3, p3));
    }
    EXPECT_EQ(wire(), expected);
    // What the sensor holds now reads back as the very same file.
    EXPECT_EQ(patternFileFromWords(model().pattern[2]), p2);
    EXPECT_EQ(view.items, (std::vector<std::string>{"Bank No. = 2", kWritingFlash, "Bank No. = 2",
                                                    kWritingFlash, "Bank No. = 2", "Bank No. = 3",
                                                    kWritingFlash, "Bank No. = 3", kWritingFlash,
                                                    "Bank No. = 3"}));
    EXPECT_EQ(view.progress.back(), 512);
    TransferRequest request;
    request.operation = Operation::Write;
    request.includeParameters = false;
    request.firstBank = 2;
    request.lastBank = 3;
    EXPECT_EQ(view.wire, plannedWireBytes(request));
}

TEST_F(WriteTransfer, ReadWriteReadGivesBackTheSameFilesByteForByte) {
    EXPECT_EQ(run(Operation::Read, 0, 14, true, false), TransferOutcome::Completed);
    EXPECT_EQ(run(Operation::Read, 4, 5, false, true), TransferOutcome::Completed);
    std::vector<std::string> files;
    for (int item = 0; item <= 15; ++item)
        files.push_back(readFile(paramFile(item)));
    std::string p4 = readFile(patternFile(4)), p5 = readFile(patternFile(5));

    // Into a sensor whose memory is blank, and back out.
    sim_->withModel([](sim::SensorModel& m) {
        for (auto& bank : m.bank)
            bank.fill(0);
        m.pattern[4].assign(m.pattern[4].size(), 0);
        m.pattern[5].assign(m.pattern[5].size(), 0);
        for (int i = 0; i < 4; ++i)
            m.common[static_cast<std::size_t>(i)] = 0;
        // Bank blocks must pass the model check before they are written.
        for (auto& bank : m.bank)
            bank[8] = bank[9] = 1;
    });
    EXPECT_EQ(run(Operation::Write, 0, 14, true, false), TransferOutcome::Completed);
    EXPECT_EQ(run(Operation::Write, 4, 5, false, true), TransferOutcome::Completed);
    for (int item = 0; item <= 15; ++item)
        ::unlink(paramFile(item).c_str());
    ::unlink(patternFile(4).c_str());
    ::unlink(patternFile(5).c_str());
    EXPECT_EQ(run(Operation::Read, 0, 14, true, true), TransferOutcome::Completed);

    for (int item = 0; item <= 15; ++item)
        EXPECT_EQ(readFile(paramFile(item)), files[static_cast<std::size_t>(item)]) << item;
    EXPECT_EQ(readFile(patternFile(4)), p4);
    EXPECT_EQ(readFile(patternFile(5)), p5);
}

TEST_F(WriteTransfer, AMissingBankFileIsSkippedOnNoAndAbortsOnYes) {
    writeBankFile(4, bankWords(4));
    view.boxes.expectQuestion("Bank number3 " + std::string(kParametersFileMissing), false);
    view.boxes.expectNotice(kCommonFileNotice);
    EXPECT_EQ(run(Operation::Write, 3, 4, true, false), TransferOutcome::Completed);
    Bytes expected = getParameterBlock(3);
    append(expected, getParameterBlock(4));
    append(expected, getParameterBlock(4));
    append(expected, putParameterBlock(4, bankWords(4)));
    append(expected, getParameterBlock(15));
    EXPECT_EQ(wire(), expected);

    sim_->clearLog();
    view.boxes.expectQuestion("Bank number3 " + std::string(kParametersFileMissing), true);
    view.boxes.expectError(kTransferAborted);
    EXPECT_EQ(run(Operation::Write, 3, 4, true, false), TransferOutcome::Failed);
    EXPECT_EQ(wire(), getParameterBlock(3));
}

// CANCEL clicked while the parameters were being sent waits in the window's queue; the
// question box takes it, so after the answer no further item is started.
TEST_F(WriteTransfer, ACancelWaitingBehindTheMissingFileQuestionStopsTheNextItem) {
    writeBankFile(4, bankWords(4));
    view.onPump = [this](int) { view.requestStop(StopRequest::Cancelled); };
    view.boxes.expectQuestion("Bank number3 " + std::string(kParametersFileMissing), false);
    EXPECT_EQ(run(Operation::Write, 3, 4, true, true), TransferOutcome::Cancelled);
    EXPECT_EQ(view.pumps, 1);
    EXPECT_EQ(wire(), getParameterBlock(3));
    EXPECT_EQ(view.status.back(), kAborted);
}

TEST_F(WriteTransfer, AMissingCommonFileIsANoticeAndTheRestIsStillWritten) {
    writeBankFile(0, bankWords(0));
    writeFile(patternFile(0), stripedPattern(0));
    view.boxes.expectNotice(kCommonFileNotice);
    EXPECT_EQ(run(Operation::Write, 0, 0, true, true), TransferOutcome::Completed);
    EXPECT_EQ(view.status.back(), kWriteCompleted);
    EXPECT_EQ(patternFileFromWords(model().pattern[0]), stripedPattern(0));
    EXPECT_FALSE(exists(paramFile(15)));
}

TEST_F(WriteTransfer, ACommonFileThatCannotBeRewrittenIsANoticeAndIsNotSent) {
    writeBankFile(3, bankWords(3));
    writeFile(paramFile(15), "7\n0\n250\n40\n1064\n");
    view.boxes.expectNotice(std::string(kCommonFileNotice) + "\n" + paramFile(15) +
                            ": file too large");
    {
        FileSizeLimit full(32); // the five lines fit, the 32 of the rewrite do not
        ASSERT_TRUE(full.applied());
        EXPECT_EQ(run(Operation::Write, 3, 3, true, false), TransferOutcome::Completed);
    }
    Bytes expected = getParameterBlock(3);
    append(expected, getParameterBlock(3));
    append(expected, putParameterBlock(3, bankWords(3)));
    append(expected, getParameterBlock(15));
    EXPECT_EQ(wire(), expected);
    EXPECT_EQ(readFile(paramFile(15)), "7\n0\n250\n40\n1064\n");
    EXPECT_EQ(dir.entries().size(), 2u); // nothing temporary left behind
}

TEST_F(WriteTransfer, AMissingPatternFileIsAskedAboutWithItsBank) {
    view.boxes.expectQuestion("Bank number1 " + std::string(kPatternsFileMissing), false);
    EXPECT_EQ(run(Operation::Write, 1, 1, false, true), TransferOutcome::NothingDone);
    EXPECT_EQ(view.status.back(), kNothingToWrite);

    view.boxes.expectQuestion("Bank number1 " + std::string(kPatternsFileMissing), true);
    view.boxes.expectError(kTransferAborted);
    EXPECT_EQ(run(Operation::Write, 1, 1, false, true), TransferOutcome::Failed);
}

TEST_F(WriteTransfer, ShortParameterFilesAreRefusedAndNothingOfThemIsSent) {
    auto words = bankWords(5);
    words.pop_back();
    writeBankFile(5, words); // 31 lines
    view.boxes.expectError(std::string(kParametersFileInvalid) + "\n" + paramFile(5) +
                           ": line 32 is missing");
    EXPECT_EQ(run(Operation::Write, 5, 5, true, false), TransferOutcome::Failed);
    EXPECT_EQ(wire(), Bytes{});

    // A common file of four lines is neither sent nor rewritten.
    sim_->clearLog();
    writeFile(paramFile(15), "1\n2\n3\n4\n");
    view.boxes.expectError(std::string(kParametersFileInvalid) + "\n" + paramFile(15) +
                           ": line 5 is missing");
    EXPECT_EQ(run(Operation::Write, 6, 5, true, false), TransferOutcome::Failed);
    EXPECT_EQ(wire(), Bytes{});
    EXPECT_EQ(readFile(paramFile(15)), "1\n2\n3\n4\n");
}

TEST_F(WriteTransfer, ABankFileOfAnotherModelShowsBothMessagesAndSendsNothing) {
    auto words = bankWords(2);
    words[8] = 256;
    writeBankFile(2, words);
    view.boxes.expectError(std::string(kFileModelNotZar4) + "\n" + paramFile(2));
    view.boxes.expectError(kTransferAborted);
    EXPECT_EQ(run(Operation::Write, 2, 2, true, false), TransferOutcome::Failed);
    EXPECT_EQ(wire(), Bytes{});
}

TEST_F(WriteTransfer, PatternFilesThatAreNotWhole24BitPatternsAreRefusedBeforeAnyBlock) {
    std::string good = stripedPattern(2);
    std::string deep = good;
    deep[28] = 32; // a 32-bit image
    std::string cut = good.substr(0, good.size() - 1);
    std::string longer = good + "x";
    const std::pair<std::string, std::string> cases[] = {
        {deep, "has no header of a 24-bit pattern file"},
        {cut, "holds 147317 bytes, not the 147318 of a pattern file"},
        {longer, "holds more than the 147318 bytes of a pattern file"}};
    for (const auto& [file, why] : cases) {
        sim_->clearLog();
        writeFile(patternFile(2), file);
        view.boxes.expectError(std::string(kPatternsFileInvalid) + "\n" + patternFile(2) + ": " +
                               why);
        EXPECT_EQ(run(Operation::Write, 2, 2, false, true), TransferOutcome::Failed);
        EXPECT_EQ(wire(), Bytes{});
    }
}

TEST_F(WriteTransfer, CancelDuringAPatternSendsNoFlashWrite) {
    writeFile(patternFile(0), stripedPattern(0));
    view.onPump = [this](int n) {
        if (n == 10)
            view.requestStop(StopRequest::Cancelled);
    };
    EXPECT_EQ(run(Operation::Write, 0, 1, false, true), TransferOutcome::Cancelled);
    EXPECT_EQ(view.status.back(), kAborted);
    Bytes log = wire();
    Bytes expected = getParameterBlock(0);
    Bytes all = patternWriteBytes(0, stripedPattern(0));
    std::size_t tenBlocks = 10 * (257 + 2);
    append(expected, Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(tenBlocks)));
    EXPECT_EQ(log, expected);
}

class WriteFailure : public SensorTest {};

TEST_F(WriteFailure, ARefusedFlashWriteEndsTheTransferAfterTheFirstHalf) {
    sim::SimOptions options;
    sim::Fault fault;
    fault.kind = sim::Fault::Kind::Nak;
    fault.command = 0x86;
    options.faults.push_back(fault);
    startSensor(options);
    std::string file = stripedPattern(7);
    writeFile(patternFile(7), file);
    view.boxes.expectError(
        "Recieved an invalid communication response.\nCOM7 (" + sim_->devicePath() +
        ") at 57600 bit/s: a garbled reply to FlashPatternHalf. Does another program hold the "
        "line? Is the cable sound? If the sensor was not connected at this rate, does the rate "
        "match the sensor's COMMUNIC setting (57600 bit/s needs COMMUNIC 5, \"57600 (5)\" in "
        "the rate list)?");
    EXPECT_EQ(run(Operation::Write, 7, 8, false, true), TransferOutcome::Failed);

    Bytes expected;
    for (int item = 0; item <= 7; ++item)
        append(expected, getParameterBlock(item));
    Bytes all = patternWriteBytes(7, file);
    std::size_t firstHalf = 256 * (257 + 2) + 3;
    append(expected, Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(firstHalf)));
    EXPECT_EQ(wire(), expected);
}

TEST_F(WriteFailure, TheSensorsOwnBlockOfAnotherModelStopsTheWrite) {
    sim::SimOptions options;
    options.wrongModelBank = 1;
    startSensor(options);
    writeFile(patternFile(3), stripedPattern(3));
    view.boxes.expectError(kModelNotZar4);
    EXPECT_EQ(run(Operation::Write, 3, 3, false, true), TransferOutcome::Failed);
    Bytes expected = getParameterBlock(0);
    append(expected, getParameterBlock(1));
    EXPECT_EQ(wire(), expected);
}

} // namespace
} // namespace zar4::test
