// The real-stack tests need umockdev's preload library in the process (run
// them with umockdev-wrapper, or LD_PRELOAD=libumockdev-preload.so.0); without
// it they are skipped, with the exit status CTest takes for "skipped".

#include <gtest/gtest.h>

#include <cstdio>

#include "mocked_usb_bus.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!::testing::GTEST_FLAG(list_tests) && !vr512b::realhid::MockedUsbBus::UnderPreload()) {
    std::fprintf(stderr, "not under umockdev's preload library: the real-hidapi tests skipped\n");
    return 77;
  }
  return RUN_ALL_TESTS();
}
