// Reading from the simulated sensor: the bytes on the line, the files, what the operator sees.

#include "transfer/transfer_fixture.h"

#include <algorithm>
#include <chrono>

namespace zar4::test {
namespace {

using namespace zar4::texts;

class ReadTransfer : public SensorTest {
protected:
    void SetUp() override { startSensor(); }
};

TEST_F(ReadTransfer, ParametersOfOneBankWriteItsFileAndTheCommonFile) {
    auto m = model();
    EXPECT_EQ(run(Operation::Read, 3, 3, true, false), TransferOutcome::Completed);

    Bytes expected = getParameterBlock(3);
    append(expected, getParameterBlock(15));
    EXPECT_EQ(wire(), expected);
    // 32 and 5 lines, each ended by a lone line feed.
    EXPECT_EQ(readFile(paramFile(3)), wordLines(m.bank[3].data(), 32));
    EXPECT_EQ(readFile(paramFile(15)), wordLines(m.common.data(), 5));
    EXPECT_FALSE(exists(paramFile(2)));
    EXPECT_FALSE(exists(patternFile(3)));
    EXPECT_EQ(dir.entries().size(), 2u); // nothing temporary left behind

    EXPECT_EQ(view.status,
              (std::vector<std::string>{kReadingBankParameters, kReadingCommonParameters,
                                        kReadingPatterns, kReadCompleted}));
    // Start, banks 0-2 skipped, bank 3 queried and done, 4-14 skipped, common, pattern phase.
    std::vector<int> progress{0, 512, 512, 512, 256, 512};
    for (int i = 4; i <= 14; ++i)
        progress.push_back(512);
    progress.insert(progress.end(), {256, 512, 512});
    EXPECT_EQ(view.progress, progress);
    EXPECT_EQ(view.wire, static_cast<long long>(2 * (3 + 66)));
}

TEST_F(ReadTransfer, NothingChosenExchangesNothingAndAStartAfterTheEndReadsOnlyCommon) {
    EXPECT_EQ(run(Operation::Read, 0, 14, false, false), TransferOutcome::NothingDone);
    EXPECT_TRUE(wire().empty());
    EXPECT_EQ(view.status.back(), kNothingToRead);

    EXPECT_EQ(run(Operation::Read, 5, 2, true, true), TransferOutcome::Completed);
    EXPECT_EQ(wire(), getParameterBlock(15));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"line1.prM.zar4"});
}

TEST_F(ReadTransfer, APatternIsReadBlockByBlockIntoAWholeBitmap) {
    auto m = model();
    EXPECT_EQ(run(Operation::Read, 10, 10, false, true), TransferOutcome::Completed);

    EXPECT_EQ(wire(), patternReadBytes(10));
    std::string file = readFile(patternFileName(base(), 10));
    ASSERT_EQ(file.size(), 147318u);
    EXPECT_EQ(file, patternFileFromWords(m.pattern[10]));
    EXPECT_EQ(patternFile(10).substr(base().size()), ".ptA.bmp");

    EXPECT_EQ(view.items, std::vector<std::string>{"Bank No. = 10"});
    EXPECT_EQ(view.pumps, 416);
    TransferRequest request;
    request.includeParameters = false;
    request.firstBank = request.lastBank = 10;
    EXPECT_EQ(view.wire, static_cast<long long>(wire().size() + 66 + 2 * 2 + 416 * 258));
    EXPECT_EQ(view.wire, plannedWireBytes(request)); // what the command line's bar counts on
    // Query 256, 0 at the start of the pattern, then one position per block, 512 at the end.
    std::vector<int> tail(view.progress.end() - 419, view.progress.end());
    EXPECT_EQ(tail[0], 256);
    EXPECT_EQ(tail[1], 0);
    EXPECT_EQ(tail[2], 0);                     // half 0, block 0
    EXPECT_EQ(tail[2 + 100], 100 * 256 / 208); // half 0, block 100
    EXPECT_EQ(tail[2 + 256], 256 * 256 / 208); // half 1, block 0
    EXPECT_EQ(tail[417], 510);                 // half 1, block 159
    EXPECT_EQ(tail[418], 512);
}

TEST_F(ReadTransfer, OverwriteIsAskedOncePerTransferAndAgainInTheNext) {
    writeFile(paramFile(2), "old\n");
    writeFile(paramFile(3), "old\n");
    writeFile(patternFile(3), "old picture");
    // One Yes covers the parameter files and the pattern file alike.
    view.boxes.expectQuestion(kOverwriteFile, true);
    EXPECT_EQ(run(Operation::Read, 2, 3, true, true), TransferOutcome::Completed);
    auto m = model();
    EXPECT_EQ(readFile(paramFile(2)), wordLines(m.bank[2].data(), 32));
    EXPECT_EQ(readFile(paramFile(3)), wordLines(m.bank[3].data(), 32));
    EXPECT_EQ(readFile(patternFile(3)), patternFileFromWords(m.pattern[3]));

    view.boxes.expectQuestion(kOverwriteFile, true);
    EXPECT_EQ(run(Operation::Read, 2, 2, true, false), TransferOutcome::Completed);
}

TEST_F(ReadTransfer, DecliningTheOverwriteEndsAtOnceKeepingEarlierFiles) {
    writeFile(paramFile(4), "kept\n");
    view.boxes.expectQuestion(kOverwriteFile, false);
    EXPECT_EQ(run(Operation::Read, 2, 5, true, true), TransferOutcome::Declined);
    EXPECT_EQ(view.stopRequest(), StopRequest::None);

    Bytes expected;
    for (int item : {2, 3, 4})
        append(expected, getParameterBlock(item));
    EXPECT_EQ(wire(), expected);
    EXPECT_TRUE(exists(paramFile(2)));
    EXPECT_TRUE(exists(paramFile(3)));
    EXPECT_EQ(readFile(paramFile(4)), "kept\n");
    EXPECT_FALSE(exists(paramFile(5)));
    // The window closes without a message: no final status text.
    for (const char* final : {kReadCompleted, kNothingToRead, kAborted})
        EXPECT_EQ(std::count(view.status.begin(), view.status.end(), final), 0) << final;
}

TEST_F(ReadTransfer, APatternFileIsAskedAboutLikeAParameterFile) {
    writeFile(patternFile(1), "old picture");
    view.boxes.expectQuestion(kOverwriteFile, false);
    EXPECT_EQ(run(Operation::Read, 1, 1, false, true), TransferOutcome::Declined);
    EXPECT_EQ(readFile(patternFile(1)), "old picture");
    EXPECT_EQ(wire(), getParameterBlock(1)); // no half was loaded
}

TEST_F(ReadTransfer, CancelDuringAPatternStopsAfterTheBlockAndKeepsTheOldFile) {
    writeFile(patternFile(0), "previous backup");
    view.boxes.expectQuestion(kOverwriteFile, true);
    // The overwrite question takes the window's messages once; then one pump per block.
    view.onPump = [this](int n) {
        if (n == 1 + 50)
            view.requestStop(StopRequest::Cancelled);
    };
    EXPECT_EQ(run(Operation::Read, 0, 1, true, true), TransferOutcome::Cancelled);
    EXPECT_EQ(view.status.back(), kAborted);
    EXPECT_EQ(view.stopRequest(), StopRequest::None);

    Bytes expected = getParameterBlock(0);
    append(expected, getParameterBlock(1));
    append(expected, getParameterBlock(15));
    append(expected, getParameterBlock(0));
    append(expected, frame(Command::LoadPatternHalf, {4}));
    for (int block = 0; block < 50; ++block)
        append(expected, frame(Command::GetPatternBlock, {static_cast<std::uint8_t>(block)}));
    EXPECT_EQ(wire(), expected);
    // The parameter files were finished before the stop; the pattern was not.
    EXPECT_TRUE(exists(paramFile(1)));
    EXPECT_EQ(readFile(patternFile(0)), "previous backup");
    EXPECT_EQ(dir.entries().size(), 4u);

    // The next transfer starts afresh.
    sim_->clearLog();
    view.onPump = nullptr;
    view.boxes.expectQuestion(kOverwriteFile, true); // the common file is there now
    EXPECT_EQ(run(Operation::Read, 3, 3, true, false), TransferOutcome::Completed);
}

TEST_F(ReadTransfer, ACancelAfterTheLastBlockFindsThePatternWholeAndKeepsIt) {
    view.onPump = [this](int n) {
        if (n == 416)
            view.requestStop(StopRequest::Cancelled);
    };
    EXPECT_EQ(run(Operation::Read, 6, 7, false, true), TransferOutcome::Cancelled);
    EXPECT_EQ(readFile(patternFile(6)), patternFileFromWords(model().pattern[6]));
    EXPECT_FALSE(exists(patternFile(7)));
}

TEST_F(ReadTransfer, AFileThatCannotBeCreatedFailsTheTransfer) {
    TransferRequest request;
    request.baseName = dir.path() + "/no-such-folder/line1";
    request.firstBank = request.lastBank = 0;
    view.boxes.expectError(std::string(kFailedToCreateFile) + "\n" +
                           parameterFileName(request.baseName, 0) + ": no such file or directory");
    EXPECT_EQ(runTransfer(request, view, link), TransferOutcome::Failed);
    view.boxes.verify();
    EXPECT_EQ(wire(), getParameterBlock(0));

    // The same for a pattern: nothing beyond the query is asked of the sensor.
    sim_->clearLog();
    request.includeParameters = false;
    view.boxes.expectError(std::string(kFailedToCreateFile) + "\n" +
                           patternFileName(request.baseName, 0) + ": no such file or directory");
    EXPECT_EQ(runTransfer(request, view, link), TransferOutcome::Failed);
    view.boxes.verify();
    EXPECT_EQ(wire(), getParameterBlock(0));
}

TEST_F(ReadTransfer, ABaseNameTooLongForAFileNameIsRefusedBeforeAnyExchange) {
    TransferRequest request;
    request.baseName = dir.path() + "/" + std::string(250 - dir.path().size(), 'x');
    ASSERT_EQ(request.baseName.size(), 251u);
    view.boxes.expectError(kBaseNameTooLong);
    EXPECT_EQ(runTransfer(request, view, link), TransferOutcome::Failed);
    view.boxes.verify();
    EXPECT_TRUE(wire().empty());
    EXPECT_TRUE(dir.entries().empty());
}

// Failures of the sensor: each ends the transfer with its words in the "Error" box, keeps
// the files finished before, and asks nothing more of the sensor.
struct SensorFault {
    const char* name;
    sim::Fault fault;
    int wrongModelBank;
    const char* text;
};

class ReadFailure : public SensorTest, public ::testing::WithParamInterface<SensorFault> {};

TEST_P(ReadFailure, EndsTheTransferWithTheProtocolText) {
    sim::SimOptions options;
    if (GetParam().fault.command != 0)
        options.faults.push_back(GetParam().fault);
    options.wrongModelBank = GetParam().wrongModelBank;
    startSensor(options);
    view.boxes.expectError(GetParam().text);
    EXPECT_EQ(run(Operation::Read, 1, 3, true, true), TransferOutcome::Failed);

    // The second query (bank 2) fails: bank 1 stays written, nothing of bank 2 or later.
    Bytes expected = getParameterBlock(1);
    append(expected, getParameterBlock(2));
    EXPECT_EQ(wire(), expected);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"line1.pr1.zar4"});
}

sim::Fault secondQuery(sim::Fault::Kind kind) {
    sim::Fault f;
    f.kind = kind;
    f.command = 0x81;
    f.nth = 2;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReadFailure,
    ::testing::Values(SensorFault{"BadChecksum", secondQuery(sim::Fault::Kind::BadChecksum), -1,
                                  "Error in checking sum of communication."},
                      SensorFault{"WrongModel", {}, 2, "The model is not ZAR4."}),
    [](const ::testing::TestParamInfo<SensorFault>& p) { return p.param.name; });

TEST_F(SensorTest, ATimeOutInAPatternKeepsThePreviousFileAndRequestsNoFurtherBlock) {
    sim::SimOptions options;
    sim::Fault fault;
    fault.kind = sim::Fault::Kind::NoReply;
    fault.command = 0x83;
    fault.patternBlock = 100;
    options.faults.push_back(fault);
    startSensor(options);
    writeFile(patternFile(5), "yesterday's pattern");

    view.boxes.expectQuestion(texts::kOverwriteFile, true);
    view.boxes.expectError("No communication response.\nCOM7 (" + sim_->devicePath() +
                           ") at 57600 bit/s: no reply to GetPatternBlock. Is the sensor on, "
                           "plugged in and in PC communication mode (CONNECT first)?");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run(Operation::Read, 5, 5, false, true), TransferOutcome::Failed);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.0);

    Bytes expected = getParameterBlock(5);
    append(expected, frame(Command::LoadPatternHalf, {24}));
    for (int block = 0; block <= 100; ++block)
        append(expected, frame(Command::GetPatternBlock, {static_cast<std::uint8_t>(block)}));
    EXPECT_EQ(wire(), expected);
    EXPECT_EQ(readFile(patternFile(5)), "yesterday's pattern");
    EXPECT_EQ(dir.entries().size(), 1u);
}

TEST_F(ReadTransfer, APatternFileThatCannotBeWrittenWholeFailsAndKeepsThePreviousOne) {
    writeFile(patternFile(5), "yesterday's pattern");
    view.boxes.expectQuestion(kOverwriteFile, true);
    const std::string failure =
        std::string(kFailedToCreateFile) + "\n" + patternFile(5) + ": file too large";
    view.boxes.expectError(failure);
    {
        // Room for the header and rows 0 to 49 (blocks 0 to 99): block 100 finds the disk full.
        FileSizeLimit full(kPatternHeaderSize + 50 * (128 + 108) * 3);
        ASSERT_TRUE(full.applied());
        EXPECT_EQ(run(Operation::Read, 5, 5, false, true), TransferOutcome::Failed);
    }
    Bytes expected = getParameterBlock(5);
    append(expected, frame(Command::LoadPatternHalf, {24}));
    for (int block = 0; block <= 100; ++block)
        append(expected, frame(Command::GetPatternBlock, {static_cast<std::uint8_t>(block)}));
    EXPECT_EQ(wire(), expected);
    EXPECT_EQ(readFile(patternFile(5)), "yesterday's pattern");
    EXPECT_EQ(dir.entries().size(), 1u);
}

} // namespace
} // namespace zar4::test
