// The asynchronous name lookup of a socket: the request under way, the area
// the system writes its answer into, and an answer that arrives before the
// request call has returned its handle. The socket holds one and keeps the
// texts, the events and the error reports; this unit keeps the rules of the
// system's lookup calls.
//
// A cancelled lookup's answer area is abandoned for good, never freed: a
// system that does not honour the cancel (Wine's does not) still writes its
// answer there, maybe after the socket is gone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Application.h"
#include "platform/Sockets.h"

class TNameLookup {
 public:
  TNameLookup();
  // A lookup still under way is cancelled, its area abandoned.
  ~TNameLookup();
  TNameLookup(const TNameLookup&) = delete;
  TNameLookup& operator=(const TNameLookup&) = delete;

  bool Pending() const { return FRequest != nullptr; }

  // Start a lookup whose answer is posted to Window as Msg: of a host name,
  // or of an address (network order) for its name. Each returns 0, or the
  // socket error number of a request that could not be made.
  int StartByName(plat::WindowHandle Window, std::uint32_t Msg, const std::string& Name);
  int StartByAddress(plat::WindowHandle Window, std::uint32_t Msg, std::uint32_t Address);

  // Whether Msg answers the pending lookup, which is then over. An answer met
  // while no request is stored is kept instead: it may belong to a request
  // call still running, whose handle is not known yet.
  bool IsAnswer(const TMessage& Msg);
  // The answer kept while the last Start ran, once.
  bool TakeEarlyAnswer(TMessage& Msg);

  // Cancels the pending lookup and forgets it (nothing when none is
  // pending); 0, or the error number of a cancel that failed.
  int Cancel();

  // What the last answer holds: the addresses in dotted form, in the
  // answer's order, and the official name.
  std::vector<std::string> Addresses() const;
  std::string OfficialName() const;

 private:
  struct TArea;
  char* Area();
  int Started(plat::sock::AsyncHandle Request);

  std::unique_ptr<TArea> FArea;
  plat::sock::AsyncHandle FRequest = nullptr;
  bool FEarly = false;
  TMessage FEarlyMessage{};
};
