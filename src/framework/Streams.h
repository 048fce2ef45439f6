// Byte streams: the abstract stream, files and memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "platform/Platform.h"

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// Open modes: one access value plus one sharing value. fmCreate creates or
// empties the file and opens it for reading and writing.
constexpr std::uint16_t fmOpenRead = 0x0000;
constexpr std::uint16_t fmOpenWrite = 0x0001;
constexpr std::uint16_t fmOpenReadWrite = 0x0002;
constexpr std::uint16_t fmShareExclusive = 0x0010;
constexpr std::uint16_t fmShareDenyWrite = 0x0020;
constexpr std::uint16_t fmShareDenyRead = 0x0030;
constexpr std::uint16_t fmShareDenyNone = 0x0040;
constexpr std::uint16_t fmCreate = 0xFFFF;

class TStream : public TObject {
 public:
  const char* ClassName() const override { return "TStream"; }
  // Read and Write move at most Count bytes and return how many they moved.
  virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
  virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t NewSize) = 0;

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t Value) { Seek(Value, soBeginning); }
  // These raise EReadError / EWriteError unless all Count bytes moved.
  void ReadBuffer(void* Buffer, std::int64_t Count);
  void WriteBuffer(const void* Buffer, std::int64_t Count);
  // Copies Count bytes from Source's position (0: all of Source, from its start).
  std::int64_t CopyFrom(TStream& Source, std::int64_t Count);
};

// Owns its open file. Creation raises EFCreateError / EFOpenError carrying the
// system's text; the error number is in ErrorCode of the EInOutError thrown by
// failed reads and writes.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& FileName, std::uint16_t Mode);
  const char* ClassName() const override { return "TFileStream"; }
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override;
  void SetSize(std::int64_t NewSize) override;
  const std::string& FileName() const { return FFileName; }
  bool Flush();

 private:
  std::string FFileName;
  plat::File FFile;
};

class TMemoryStream : public TStream {
 public:
  const char* ClassName() const override { return "TMemoryStream"; }
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
  void SetSize(std::int64_t NewSize) override;
  void Clear();
  std::uint8_t* Memory() { return FData.data(); }
  const std::uint8_t* Memory() const { return FData.data(); }
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  void LoadFromStream(TStream& Source);

 private:
  std::vector<std::uint8_t> FData;
  std::int64_t FPosition = 0;
};
