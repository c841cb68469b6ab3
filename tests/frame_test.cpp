// The interface frame: result buffers, status texts, version and the fault guard.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/memory.h"
#include "core/testing_hooks.h"
#include "ffi/guard.h"
#include "vesk.h"

namespace {

TEST(Frame, EmptyBufferAndVersion) {
  VeskBuffer b = vesk_buffer_empty();
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(b.len, 0u);
  EXPECT_EQ(b.capacity, 0u);
  EXPECT_STREQ(vesk_version(), VESK_VERSION);
}

// The values are part of the binary interface: hosts built against the header keep them.
static_assert(VESK_OK == 0 && VESK_INVALID_ARGUMENT == 1 && VESK_WRONG_PASSPHRASE == 2 && VESK_NOT_KEY_FILE == 3 &&
              VESK_AUTHENTICATION_FAILED == 4 && VESK_NO_MATCHING_RECIPIENT == 5 && VESK_MALFORMED_INPUT == 6 &&
              VESK_INPUT_TOO_LARGE == 7 && VESK_CHALLENGE_EXPIRED == 8 && VESK_CHALLENGE_REPLAYED == 9 &&
              VESK_INTERNAL_FAULT == 98 && VESK_INTERNAL_ERROR == 99);

TEST(Frame, StatusTexts) {
  struct Case {
    int32_t status;
    const char* text;
  };
  const Case cases[] = {
      {VESK_OK, "success"},
      {VESK_INVALID_ARGUMENT, "invalid argument"},
      {VESK_WRONG_PASSPHRASE, "incorrect passphrase, or the key file was modified"},
      {VESK_NOT_KEY_FILE, "not a VESK key file"},
      {VESK_AUTHENTICATION_FAILED, "authentication failed; the data was altered"},
      {VESK_NO_MATCHING_RECIPIENT, "no matching recipient for this key"},
      {VESK_MALFORMED_INPUT, "malformed or corrupt input"},
      {VESK_INPUT_TOO_LARGE, "input is too large"},
      {VESK_CHALLENGE_EXPIRED, "the challenge expired before it was answered"},
      {VESK_CHALLENGE_REPLAYED, "this challenge was already answered"},
      {VESK_INTERNAL_FAULT, "internal error (panic)"},
      {VESK_INTERNAL_ERROR, "internal error"},
      // Values no status has.
      {10, "internal error"},
      {97, "internal error"},
      {100, "internal error"},
      {-1, "internal error"},
      {INT32_MIN, "internal error"},
  };
  for (const Case& c : cases) EXPECT_STREQ(vesk_error_message(c.status), c.text) << c.status;
}

// Records what release_result saw, to check the wipe happened before the memory went back.
struct Released {
  std::vector<std::uint8_t> bytes;
  std::size_t wiped = 0;
  std::size_t capacity = 0;
  int calls = 0;
};
Released g_released;

void record_release(const std::uint8_t* data, std::size_t wiped, std::size_t capacity) {
  g_released.bytes.assign(data, data + wiped);
  g_released.wiped = wiped;
  g_released.capacity = capacity;
  ++g_released.calls;
}

TEST(Frame, BufferFreeWipesLenBytesThenReleasesAndIsSafeTwice) {
  g_released = {};
  vesk::testing_hooks::set_release_hook(record_release);
  for (std::size_t capacity : {std::size_t{40}, std::size_t{8} << 20}) {  // heap and mapped results
    vesk::ResultAllocation a = vesk::allocate_result(capacity);
    std::memset(a.data, 0xAB, capacity);
    VeskBuffer b{a.data, 32, a.capacity};
    const int before = g_released.calls;
    vesk_buffer_free(&b);
    EXPECT_EQ(g_released.calls, before + 1);
    EXPECT_EQ(g_released.wiped, 32u);
    EXPECT_EQ(g_released.capacity, capacity);
    EXPECT_EQ(g_released.bytes, std::vector<std::uint8_t>(32, 0));
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.len, 0u);
    EXPECT_EQ(b.capacity, 0u);
    vesk_buffer_free(&b);  // second call finds data NULL
    EXPECT_EQ(g_released.calls, before + 1);
  }
  vesk::testing_hooks::set_release_hook(nullptr);
  vesk_buffer_free(nullptr);
  VeskBuffer empty = vesk_buffer_empty();
  vesk_buffer_free(&empty);
}

TEST(Frame, OutputBufferWipesWholeCapacityWhenNotHandedOver) {
  g_released = {};
  vesk::testing_hooks::set_release_hook(record_release);
  {
    vesk::OutputBuffer out(100);
    const std::uint8_t secret[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    out.append(secret, sizeof secret);
  }
  vesk::testing_hooks::set_release_hook(nullptr);
  EXPECT_EQ(g_released.calls, 1);
  EXPECT_EQ(g_released.wiped, 100u);
  EXPECT_EQ(g_released.bytes, std::vector<std::uint8_t>(100, 0));
}

TEST(Frame, PanicIsCaughtEveryTime) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(vesk_test_panic(), VESK_INTERNAL_FAULT);
  std::string first = testing::internal::GetCapturedStderr();
  testing::internal::CaptureStderr();
  EXPECT_EQ(vesk_test_panic(), VESK_INTERNAL_FAULT);
  std::string second = testing::internal::GetCapturedStderr();
  EXPECT_NE(first.find("deliberate panic for the ABI guard test"), std::string::npos) << first;
  EXPECT_NE(first.find("exports_frame.cpp"), std::string::npos) << first;  // source location
  EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1) << "one report per fault";
  EXPECT_EQ(first, second);
}

TEST(Frame, GuardTurnsOverflowFaultsIntoInternalFault) {
  testing::internal::CaptureStderr();
  VeskStatus s = vesk::ffi::guarded([]() -> VeskStatus {
    (void)vesk::checked_add(SIZE_MAX, 1);
    return VESK_OK;
  });
  std::string report = testing::internal::GetCapturedStderr();
  EXPECT_EQ(s, VESK_INTERNAL_FAULT);
  EXPECT_NE(report.find("size computation overflows"), std::string::npos);
}

TEST(FrameDeathTest, ExhaustedMemoryIsReportedWithItsSize) {
  EXPECT_DEATH((void)vesk::checked_malloc(SIZE_MAX - 4095),
               "memory allocation of 18446744073709547520 bytes failed");
}

}  // namespace
