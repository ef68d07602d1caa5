#pragma once
// The process-wide error handler, clean for the lifetime of the object: the constructor saves
// its state and clears the exit code and the error count, the destructor puts the saved state
// back, so that errors a test provokes on purpose never reach the next test.

#include "common/error_handler.h"

class CleanErrorState {
 public:
  CleanErrorState() : saved_(Errors()) {
    Errors().ExitCode = VLX_EXIT_SUCCESS;
    Errors().ErrorCount = 0;
  }
  ~CleanErrorState() { Errors() = saved_; }
  CleanErrorState(const CleanErrorState&) = delete;
  CleanErrorState& operator=(const CleanErrorState&) = delete;

 private:
  ErrorHandler saved_;
};
