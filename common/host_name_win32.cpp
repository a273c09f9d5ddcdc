#include "common/windows_api.h"

#include "common/host_name.h"
#include "common/utf8.h"

namespace vr512b {

std::string HostName() {
  DWORD size = 0;
  ::GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);
  if (size == 0)
    return {};
  std::wstring name(size, L'\0');
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size))
    return {};
  name.resize(size);
  return WideToUtf8(name);
}

}  // namespace vr512b
