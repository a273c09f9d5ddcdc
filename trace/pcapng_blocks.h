#pragma once

// Reading a pcapng file block by block, with every length checked against
// what is really there. Only little-endian sections are read: every program
// that writes these traces does so.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vr512b::trace {

// Beyond any block a trace holds (the largest is a packet of a few hundred
// bytes), and small enough that a lying length costs nothing.
inline constexpr std::uint32_t kMaxBlockLength = 256 * 1024;

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fewer bytes than asked for at the end of the data or on a fault.
  virtual std::size_t Read(std::uint8_t* into, std::size_t size) = 0;
  // Non-empty after a read that failed other than at the end.
  virtual std::string Fault() const = 0;
};

// Empty result and the reason in `error` when the file cannot be opened.
std::unique_ptr<ByteSource> OpenFileSource(const std::filesystem::path& path, std::string& error);
// The bytes must outlive the source.
std::unique_ptr<ByteSource> MemorySource(std::span<const std::uint8_t> bytes);

enum class BlockFault {
  None,
  End,        // no more blocks
  Io,         // the source failed
  NotPcapng,  // the first block is not a section header
  BigEndian,  // a section written in big-endian order
  Malformed,  // a length that cannot be
  Truncated,  // the data ends inside a block
};

struct Block {
  std::uint32_t type = 0;
  std::uint64_t offset = 0;           // of the block in the file
  std::vector<std::uint8_t> content;  // between the length fields
};

class BlockReader {
 public:
  explicit BlockReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}
  // Reads the next block into `block`, reusing its storage.
  BlockFault Next(Block& block);
  // What went wrong, for the faults other than End.
  const std::string& fault() const { return fault_; }
  std::uint64_t offset() const { return offset_; }

 private:
  BlockFault Fail(BlockFault kind, std::string text);
  bool ReadExactly(std::uint8_t* into, std::size_t size, std::size_t& got);

  std::unique_ptr<ByteSource> source_;
  std::uint64_t offset_ = 0;
  bool first_ = true;
  std::string fault_;
};

// Calls `visit` for each option of an options area, up to opt_endofopt.
// False when an option runs past the area.
bool ForEachOption(std::span<const std::uint8_t> area,
                   const std::function<void(std::uint16_t, std::span<const std::uint8_t>)>& visit);

std::string_view AsText(std::span<const std::uint8_t> bytes);

}  // namespace vr512b::trace
