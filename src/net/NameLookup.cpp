#include "net/NameLookup.h"

#include <cstring>
#include <mutex>
#include <utility>

#include "net/SocketBinding.h"

using namespace plat::sock;

namespace {

std::mutex gAbandonedLock;

// Never destroyed: a late answer may still be written into any of them.
std::vector<void*>& AbandonedAreas() {
  static auto* Areas = new std::vector<void*>;
  return *Areas;
}

}  // namespace

// What the lookup calls may fill: the host record, then its lists and texts.
struct TNameLookup::TArea {
  alignas(8) char Bytes[MaxGetHostStruct + 1];
};

TNameLookup::TNameLookup() = default;

TNameLookup::~TNameLookup() {
  try {
    Cancel();
  } catch (...) {
    // A library that cannot even be reached has no answer to write.
  }
}

char* TNameLookup::Area() {
  if (!FArea) FArea = std::make_unique<TArea>();
  return FArea->Bytes;
}

int TNameLookup::Started(AsyncHandle Request) {
  if (!Request) return wsock::WSAGetLastError();
  FRequest = Request;
  return 0;
}

int TNameLookup::StartByName(plat::WindowHandle Window, std::uint32_t Msg, const std::string& Name) {
  Cancel();
  KeepSocketLibraryMapped();
  FEarly = false;
  return Started(wsock::WSAAsyncGetHostByName(Window, Msg, Name.c_str(), Area(), sizeof(TArea::Bytes)));
}

int TNameLookup::StartByAddress(plat::WindowHandle Window, std::uint32_t Msg, std::uint32_t Address) {
  Cancel();
  KeepSocketLibraryMapped();
  FEarly = false;
  return Started(wsock::WSAAsyncGetHostByAddr(Window, Msg, reinterpret_cast<const char*>(&Address), 4, AfInet,
                                              Area(), sizeof(TArea::Bytes)));
}

bool TNameLookup::IsAnswer(const TMessage& Msg) {
  if (!FRequest) {
    FEarlyMessage = Msg;
    FEarly = true;
    return false;
  }
  if (Msg.wParam != reinterpret_cast<plat::WParam>(FRequest)) return false;
  FRequest = nullptr;
  return true;
}

bool TNameLookup::TakeEarlyAnswer(TMessage& Msg) {
  if (!FEarly) return false;
  FEarly = false;
  Msg = FEarlyMessage;
  return true;
}

int TNameLookup::Cancel() {
  if (!FRequest) return 0;
  const AsyncHandle Request = std::exchange(FRequest, nullptr);
  const int Result = wsock::WSACancelAsyncRequest(Request);
  const int Error = Result == 0 ? 0 : wsock::WSAGetLastError();
  if (FArea) {
    std::lock_guard<std::mutex> Guard(gAbandonedLock);
    AbandonedAreas().push_back(FArea.release());
  }
  return Error;
}

std::vector<std::string> TNameLookup::Addresses() const {
  std::vector<std::string> Result;
  if (!FArea) return Result;
  const auto* H = reinterpret_cast<const HostEnt*>(FArea->Bytes);
  for (char** A = H->h_addr_list; A && *A; ++A) {
    std::uint32_t Address;
    std::memcpy(&Address, *A, 4);
    Result.push_back(DottedAddress(Address));
  }
  return Result;
}

std::string TNameLookup::OfficialName() const {
  if (!FArea) return std::string();
  const auto* H = reinterpret_cast<const HostEnt*>(FArea->Bytes);
  return H->h_name ? H->h_name : "";
}
