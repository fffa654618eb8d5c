// The I/O messages' table is keyed by the Windows file API's own error codes.
#include "platform/errors.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace qm {
namespace {

struct MessageCase {
  DWORD code;
  const char* message;
};

class IoMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(IoMessage, ForTheSystemsCode) {
  const EInOutError error(static_cast<int>(GetParam().code));
  EXPECT_EQ(error.Code(), static_cast<int>(GetParam().code));
  EXPECT_EQ(std::string(error.what()), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(WindowsCodes, IoMessage,
                         testing::Values(MessageCase{ERROR_FILE_NOT_FOUND, "File not found"},
                                         MessageCase{ERROR_PATH_NOT_FOUND, "Invalid filename"},
                                         MessageCase{ERROR_TOO_MANY_OPEN_FILES,
                                                     "Too many open files"},
                                         MessageCase{ERROR_ACCESS_DENIED, "File access denied"},
                                         MessageCase{ERROR_INVALID_PARAMETER, "I/O error 87"},
                                         MessageCase{ERROR_SHARING_VIOLATION, "I/O error 32"}));

// A code the file API answered for a real failure, as the adapters will pass it on.
TEST(IoMessage, OfAFailedOpen) {
  const HANDLE file = CreateFileW(L"C:\\no-such-folder\\no-such-file.txt", GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_EQ(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(EInOutError::MessageFor(static_cast<int>(GetLastError())), "Invalid filename");
}

}  // namespace
}  // namespace qm
