#pragma once
// The words the operator sees during connect, transfers and return to run. The progress
// window, the command line and the tests all take them from here, so a text is spelt the same
// everywhere (including the sensor's own spellings such as "Transfering" and "fo writing in").

namespace zar4::texts {

// Connect and return to run.
inline constexpr const char* kFailedToOpenPort = "Failed to open COM port.";
inline constexpr const char* kAgreeToStop = "Agree to stop operation of ZAR4?";
inline constexpr const char* kBaudRateInvalid = "Baud rate setting is invalid.";
// Asked by the WRITE command before a write transfer starts.
inline constexpr const char* kAgreeToOverwriteSensor = "Agree to overwrite ZAR4 settings?";
inline constexpr const char* kAgreeToOverwriteSensorTitle = "Warning!";

// Status texts (control 1051).
inline constexpr const char* kInitializing = "Initializing.......";
inline constexpr const char* kReadingBankParameters = "Reading Bank parameters";
inline constexpr const char* kReadingCommonParameters = "Reading Common parameters";
inline constexpr const char* kReadingPatterns = "Reading Patterns";
inline constexpr const char* kWritingBankParameters = "Writing Bank parameters";
inline constexpr const char* kWritingCommonParameters = "Writing Common parameters";
inline constexpr const char* kWritingPatterns = "Writing Patterns";
inline constexpr const char* kReadCompleted = "Reading from ZAR4 is completed.";
inline constexpr const char* kNothingToRead = "No target data for reading out.";
inline constexpr const char* kWriteCompleted = "Writing to ZAR4 is completed.";
inline constexpr const char* kNothingToWrite = "No target data fo writing in.";
inline constexpr const char* kAborted = "Aborted.";

// Item texts (control 1053). The bank text is kBankNo followed by " = <bank>".
inline constexpr const char* kBankNo = "Bank No.";
inline constexpr const char* kWritingFlash = "Writing FLASH memory.(max 30sec)";

// Questions and notices during a transfer.
inline constexpr const char* kOverwriteFile = "Found same filename. Do you overwrite?";
// A missing bank file is asked about as "Bank number<bank> " followed by the message.
inline constexpr const char* kBankNumber = "Bank number";
inline constexpr const char* kParametersFileMissing =
    "Parameters file is not found. Do you abort remaining file(s)?";
inline constexpr const char* kPatternsFileMissing =
    "Patterns file is not found. Do you abort remaining file(s)?";
inline constexpr const char* kCommonFileMissing =
    "Common parameters file is not found. Do you abort remaining file(s)?";
inline constexpr const char* kAbortQuestionEnd = "Do you abort remaining file(s)?";
inline constexpr const char* kCommonFileNotice =
    "Common parameters file is not found. Forwarding is discontinued. ";
// The common file could be read but not rewritten with the sensor's other words: what is sent
// is the merged block from memory, followed by the file and the reason.
inline constexpr const char* kCommonFileNotRewritten =
    "Common parameters file cannot be rewritten. The parameters are sent, and the file is left "
    "as it was.";

// Failures (shown in the "Error" box from lastErrorText).
inline constexpr const char* kModelNotZar4 = "The model is not ZAR4.";
inline constexpr const char* kFileModelNotZar4 = "The model of the parameters file is not ZAR4. ";
inline constexpr const char* kFailedToCreateFile = "Failed to create the file.";
inline constexpr const char* kTransferAborted = "Transfering is aborted.";
inline constexpr const char* kParametersFileInvalid = "The parameters file is invalid.";
inline constexpr const char* kPatternsFileInvalid = "Patterns file is invalid.";
// A parameter file that is there but cannot be read: the parameter editor's words for it.
inline constexpr const char* kParametersFileUnreadable = "Failed to read a parameters file.";
// The same words the parameter editor uses for a base name that cannot hold a file name.
inline constexpr const char* kBaseNameTooLong =
    "The file name is too long. A file name may hold at most 250 characters.";

} // namespace zar4::texts
