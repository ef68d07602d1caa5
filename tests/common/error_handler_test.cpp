#include "common/error_handler.h"

#include <gtest/gtest.h>

#include <string>

#include "support/error_state.h"

namespace {

// Starts each test with a clean handler and puts the previous state back afterwards.
class ErrorHandlerTest : public testing::Test {
 private:
  CleanErrorState errors_;
};

}  // namespace

TEST_F(ErrorHandlerTest, MemoryErrorRecordsTwiceAndThrows) {
  uint32_t thrown = 0;
  try {
    Errors().MemoryError();
  } catch (VLX_EXIT code) {
    thrown = code;
  }
  EXPECT_EQ(thrown, VLX_EXIT_MEMORY);
  EXPECT_EQ(Errors().ErrorCount, 2u);
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_MEMORY);
}

TEST_F(ErrorHandlerTest, ReportMemoryErrorDoesNotThrow) {
  EXPECT_NO_THROW(Errors().ReportMemoryError());
  EXPECT_EQ(Errors().ErrorCount, 1u);
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_MEMORY);
}

TEST_F(ErrorHandlerTest, CloseErrorRaisesExitCodeToAtLeastTwo) {
  Errors().CloseError(L"C:\\x.txt");
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_CLOSE);
  EXPECT_EQ(Errors().ErrorCount, 1u);
  Errors().ExitCode = VLX_EXIT_MEMORY;
  Errors().CloseError(L"C:\\x.txt");
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_MEMORY);  // a higher code stays
  EXPECT_EQ(Errors().ErrorCount, 2u);
}

TEST_F(ErrorHandlerTest, ReadErrorAnswersStop) {
  EXPECT_EQ(Errors().AskReadError(L"a"), ErrorHandler::Answer::Stop);
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_READ);
  EXPECT_EQ(Errors().ErrorCount, 1u);
}

TEST_F(ErrorHandlerTest, ReportsThatRecordNothing) {
  Errors().SeekError(L"a");
  Errors().ReportFileSizeLimit(L"a");
  Errors().WriteError(L"a");
  EXPECT_FALSE(Errors().AskWriteRetry(L"a"));
  Errors().FormatReport(L"Maximum allowed array size (%u) is exceeded", 5u);
  EXPECT_EQ(Errors().ErrorCount, 0u);
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_SUCCESS);
}

TEST_F(ErrorHandlerTest, FormatReportSurvivesOverlongText) {
  std::wstring longText(5000, L'x');
  Errors().FormatReport(L"%ls and %ls", longText.c_str(), longText.c_str());
  Errors().FormatReport(L"%d%%", 7);
  EXPECT_EQ(Errors().ErrorCount, 0u);
}
