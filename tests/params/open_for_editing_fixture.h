#pragma once
// A parameter set opened for editing from a folder of its own, with the operator's answers
// scripted.

#include "params/parameter_set.h"
#include "params/params_test_files.h"
#include "support/scripted_messages.h"

#include <gtest/gtest.h>

#include <string>

namespace zar4::test {

class OpenForEditing : public ::testing::Test {
protected:
    void TearDown() override { messages.verify(); }

    void writeWholeSet(bool crlf) {
        for (int k = 0; k < kBankCount; ++k)
            writeBankFile(base, k, distinctBankRecord(k), crlf);
        writeCommonFile(base, distinctCommonRecord(), crlf);
    }

    TempFolder folder;
    std::string base = folder.base();
    ParameterSet set;
    ScriptedMessages messages;
};

} // namespace zar4::test
