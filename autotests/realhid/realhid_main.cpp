// The real-stack tests need umockdev's preload library in the process (run
// them with umockdev-wrapper, or LD_PRELOAD=libumockdev-preload.so.0); without
// it they are skipped, with the exit status CTest takes for "skipped".

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "autotests/realhid/mocked_usb_bus.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!::testing::GTEST_FLAG(list_tests) && !vr512b::realhid::MockedUsbBus::UnderPreload()) {
    std::fprintf(stderr, "not under umockdev's preload library: the real-hidapi tests skipped\n");
    return 77;
  }
  // hidapi keeps the error text of a failed open until its next call on the
  // device that never opened. The console unloads the library when it ends;
  // kept loaded here, the leak checker can still name the library whose leak
  // hidapi_leaks.supp lets pass.
  dlopen("libhidapi-hidraw.so.0", RTLD_NOW | RTLD_NODELETE);
  return RUN_ALL_TESTS();
}
