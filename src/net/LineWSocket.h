// TCustomLineWSocket: incoming data cut into lines, with echo and simple
// line editing.
//
// With LineMode on, what arrives is collected in a receive area and
// OnDataAvailable fires once per complete line (LineEnd included); the
// handler's Receive reads that line out of the area. LineLimit keeps the area
// from growing without end. With LineMode off (its initial value, and the way
// the HTTP client reads) everything goes straight to the layers below, except
// that bytes still held in the area are read first.
//
// LineMode may be switched at any time, from inside OnDataAvailable too:
// switching it off in the middle of a line hands the rest of the line and the
// bytes behind it to plain reads; a switch with bytes held posts
// WM_LINE_REDELIVER, which delivers them again in the new mode.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/SocksWSocket.h"

using TLineLimitEvent = std::function<void(TObject* Sender, std::int32_t RcvdLength, bool& ClearData)>;

constexpr std::uint32_t WM_LINE_REDELIVER = 0x414;

class TCustomLineWSocket : public TCustomSocksWSocket {
 public:
  explicit TCustomLineWSocket(TComponent* AOwner);
  const char* ClassName() const override { return "TCustomLineWSocket"; }

  bool LineMode() const { return FLineMode; }
  const std::string& LineEnd() const { return FLineEnd; }
  void SetLineEnd(const std::string& Value) { FLineEnd = Value; }  // empty: no cutting
  std::int32_t LineLimit() const { return FLineLimit; }
  void SetLineLimit(std::int32_t Value) { FLineLimit = Value; }  // 0 or less: no limit
  bool LineEcho() const { return FLineEcho; }
  void SetLineEcho(bool Value) { FLineEcho = Value; }
  bool LineEdit() const { return FLineEdit; }
  void SetLineEdit(bool Value) { FLineEdit = Value; }

  // In line mode, what is left of the line being delivered.
  std::int32_t RcvdCount() override;

  TLineLimitEvent OnLineLimitExceeded;

 protected:
  void HandleNotification(TMessage& Msg) override;
  int RawRecv(void* Buffer, int Length, int Flags) override;
  bool FireDataAvailable(std::uint16_t Error) override;
  void FireSessionClosed(std::uint16_t Error) override;
  void DiscardConnection() override;
  // Outside line mode the area's bytes wait for plain reads.
  std::int32_t HeldCount() override { return (FLineMode ? 0 : FAreaCount) + TCustomSocksWSocket::HeldCount(); }

  // Appended operations.
  virtual void FireLineLimitExceeded(std::int32_t Count, bool& ClearData);

 public:
  virtual void SetLineMode(bool Value);

 protected:
  // Applies backspace and tab to the Count new bytes at the end of the area
  // (echoing them when LineEcho is on); may move their start back over bytes
  // received earlier, and changes Count to what is left.
  virtual void ApplyLineEditing(std::int32_t& Count);

 private:
  bool CutsLines() const { return FLineMode && !FLineEnd.empty() && !Negotiating(); }
  void EnsureArea(std::size_t Size);
  void DropArea();
  // Delivers every complete line from Start on, a line left unread first;
  // false when the area was dropped or the delivery was taken over by a
  // handler meanwhile. A line its handler read nothing of stays first in the
  // area (FLineLength above 0) until the next notification.
  bool DeliverLines(std::int32_t Start);
  // Runs OnDataAvailable until the line being delivered has been read, line
  // mode is off, a call read nothing of it, or the area is gone; false in
  // the last case. An exception of the handler drops the rest of the line
  // and passes on.
  bool DeliverLine();
  // Takes the line being delivered (what is left of it) out of the area.
  void RemoveLine();
  // The held bytes to the start of the area, before more are read in.
  void Compact();
  // Count bytes read off the front.
  void Consume(std::int32_t Count);
  char* Held() { return FArea.data() + FFront; }
  void CheckLimit();
  void Redeliver();
  // Sends Data back; false when that freed the socket.
  bool Echo(const char* Data, std::size_t Length);

  std::vector<char> FArea;      // the receive area; a zero byte follows the bytes held
  std::int32_t FFront = 0;      // where the bytes held begin in it
  std::int32_t FAreaCount = 0;  // bytes held
  std::string FLineEnd = "\r\n";
  bool FLineMode = false;
  std::int32_t FLineLength = 0;  // unread bytes of the line being delivered
  std::int32_t FLineLimit = 65536;
  bool FClearData = false;  // ClearData of the limit event while it runs
  bool FLineEcho = false;
  bool FLineEdit = false;
  bool FDelivering = false;  // an OnDataAvailable of a line runs
  bool FReadingBelow = false;  // the layer reads from below the area
  // Grows whenever the area's contents are thrown away, so that a delivery
  // notices it lost its line to a handler.
  std::uint32_t FAreaEpoch = 0;
};
