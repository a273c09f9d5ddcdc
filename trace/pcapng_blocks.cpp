#include "trace/pcapng_blocks.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "trace/little_endian.h"
#include "trace/pcapng_layout.h"

namespace vr512b::trace {
namespace {

using namespace layout;

constexpr std::uint32_t kSwappedByteOrderMagic = 0x4D3C2B1A;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  std::size_t Read(std::uint8_t* into, std::size_t size) override {
    const std::size_t got = std::fread(into, 1, size, file_.get());
    if (got < size && std::ferror(file_.get()))
      fault_ = std::generic_category().message(errno);
    return got;
  }
  std::string Fault() const override { return fault_; }

 private:
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::string fault_;
};

class BytesSource final : public ByteSource {
 public:
  explicit BytesSource(std::span<const std::uint8_t> bytes) : rest_(bytes) {}
  std::size_t Read(std::uint8_t* into, std::size_t size) override {
    const std::size_t got = std::min(size, rest_.size());
    if (got > 0)
      std::memcpy(into, rest_.data(), got);
    rest_ = rest_.subspan(got);
    return got;
  }
  std::string Fault() const override { return {}; }

 private:
  std::span<const std::uint8_t> rest_;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::filesystem::path& path, std::string& error) {
#ifdef _WIN32
  std::FILE* file = ::_wfopen(path.c_str(), L"rb");
#else
  std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
  if (!file) {
    error = std::generic_category().message(errno);
    return nullptr;
  }
  return std::make_unique<FileSource>(file);
}

std::unique_ptr<ByteSource> MemorySource(std::span<const std::uint8_t> bytes) {
  return std::make_unique<BytesSource>(bytes);
}

BlockFault BlockReader::Fail(BlockFault kind, std::string text) {
  fault_ = std::move(text);
  return kind;
}

bool BlockReader::ReadExactly(std::uint8_t* into, std::size_t size, std::size_t& got) {
  got = source_->Read(into, size);
  offset_ += got;
  return got == size;
}

BlockFault BlockReader::Next(Block& block) {
  block.offset = offset_;
  std::uint8_t head[12];
  std::size_t got = 0;
  if (!ReadExactly(head, 8, got)) {
    if (!source_->Fault().empty())
      return Fail(BlockFault::Io, source_->Fault());
    if (got == 0)
      return first_ ? Fail(BlockFault::NotPcapng, "файл пуст") : BlockFault::End;
    return Fail(first_ ? BlockFault::NotPcapng : BlockFault::Truncated, "заголовок блока оборван");
  }
  block.type = GetU32(head);
  const std::uint32_t length = GetU32(head + 4);
  std::size_t already = 8;
  if (first_) {
    first_ = false;
    if (block.type != kSectionHeaderBlock)
      return Fail(BlockFault::NotPcapng, "файл не начинается с заголовка секции pcapng");
    if (!ReadExactly(head + 8, 4, got))
      return Fail(BlockFault::Truncated, "заголовок секции оборван");
    const std::uint32_t magic = GetU32(head + 8);
    if (magic == kSwappedByteOrderMagic)
      return Fail(BlockFault::BigEndian,
                  "секция записана в порядке байтов big-endian; такие трассы не читаются");
    if (magic != kByteOrderMagic)
      return Fail(BlockFault::NotPcapng, "неизвестная отметка порядка байтов");
    already = 12;
  }
  if (length < kBlockOverhead || length % 4 != 0 || length < already + 4)
    return Fail(BlockFault::Malformed, "блок длиной " + std::to_string(length) + " байт");
  if (length > kMaxBlockLength)
    return Fail(BlockFault::Malformed, "блок длиной " + std::to_string(length) +
                                           " байт, больше допустимых " +
                                           std::to_string(kMaxBlockLength));
  block.content.resize(length - kBlockOverhead);
  std::memcpy(block.content.data(), head + 8, already - 8);
  const std::size_t rest = length - already;
  std::uint8_t* into = block.content.data() + (already - 8);
  // The content is read first, the trailing length into `head` after it.
  if (!ReadExactly(into, rest - 4, got) || !ReadExactly(head, 4, got)) {
    if (!source_->Fault().empty())
      return Fail(BlockFault::Io, source_->Fault());
    return Fail(BlockFault::Truncated, "блок оборван");
  }
  if (GetU32(head) != length)
    return Fail(BlockFault::Malformed, "длина в конце блока " + std::to_string(GetU32(head)) +
                                           " не совпадает с длиной в начале " +
                                           std::to_string(length));
  return BlockFault::None;
}

bool ForEachOption(std::span<const std::uint8_t> area,
                   const std::function<void(std::uint16_t, std::span<const std::uint8_t>)>& visit) {
  while (area.size() >= 4) {
    const std::uint16_t code = GetU16(area.data());
    const std::uint16_t length = GetU16(area.data() + 2);
    if (code == kOptEnd)
      return true;
    const std::size_t padded = (std::size_t{length} + 3) & ~std::size_t{3};
    if (padded > area.size() - 4)
      return false;
    visit(code, area.subspan(4, length));
    area = area.subspan(4 + padded);
  }
  return area.empty();
}

std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace vr512b::trace
