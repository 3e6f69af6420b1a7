#include <gtest/gtest.h>

#include "platform/errors.h"

TEST(InOutErrorMessages, FixedTextsAndTheGenericForm) {
  const struct {
    int code;
    const char* message;
  } cases[] = {{2, "File not found"},         {3, "Invalid filename"},  {4, "Too many open files"},
               {5, "File access denied"},     {100, "Read beyond end of file"}, {101, "Disk full"},
               {106, "Invalid numeric input"}, {103, "I/O error 103"},   {112, "I/O error 112"},
               {32, "I/O error 32"}};
  for (const auto& c : cases) {
    EInOutError error(c.code);
    EXPECT_EQ(error.Message(), c.message) << c.code;
    EXPECT_EQ(error.Code(), c.code);
  }
}
