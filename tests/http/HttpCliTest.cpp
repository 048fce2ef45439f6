// THttpCli against the scripted peer: the request bytes, the event order,
// every relocation form, the response edge cases, aborts and misuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

#include "HttpTestSupport.h"

using namespace httptest;

namespace {

struct Client {
  THttpCli Http{nullptr};
  TMemoryStream Doc;
  EventLog Log;
  Client() {
    Http.SetDocStream(&Doc);
    Log.Attach(Http);
  }
};

std::string RequestLine(const std::string& Request) { return Request.substr(0, Request.find("\r\n")); }

std::string HeaderField(const std::string& Request, const std::string& Name) {
  const std::string Key = "\r\n" + Name + ": ";
  const auto At = Request.find(Key);
  if (At == std::string::npos) return "<none>";
  const auto Start = At + Key.size();
  return Request.substr(Start, Request.find("\r\n", Start) - Start);
}

// What F raises, as "ErrorCode Message", or "returned".
std::string Raised(const std::function<void()>& F) {
  try {
    F();
  } catch (EHttpException& E) {
    return std::to_string(E.ErrorCode()) + " " + E.Message();
  }
  return "returned";
}

TEST(HttpCli, TypicalGetRaisesItsEventsInOrder) {
  Client C;
  PeerRecord Record;
  C.Http.SetURL(PeerUrl("/s/ok/10"));
  C.Http.Get();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.RequestsDone == 1; }));
  const std::vector<std::string> Want = {
      "State hsPreparing", "State hsResolving", "State hsResolved", "State hsConnected", "SessionConnected",
      "State hsAwaitingHeader", "RequestHeaderBegin", "BeforeHeaderSend GET", "Command GET", "Command Accept:",
      "Command User-Agent:", "Command Host:", "RequestHeaderEnd", "Command ", "HeaderBegin", "HeaderData",
      "HeaderData", "HeaderData", "State hsAwaitingBody", "HeaderEnd", "DocBegin", "DocData", "DocEnd",
      "State hsIdle", "RequestDone 0"};
  EXPECT_EQ(C.Log.Events, Want);
  EXPECT_EQ(StreamText(C.Doc), Pattern(10));
  EXPECT_EQ(C.Http.ResponseCode(), 200);
  EXPECT_EQ(C.Http.ResponseText(), "OK");
  EXPECT_EQ(C.Http.ContentLength(), 10);
  EXPECT_EQ(C.Http.ContentType(), "text/plain");
  EXPECT_EQ(C.Http.ReceivedBytes(), 10);
  EXPECT_EQ(C.Http.DocumentName(), "10");
  EXPECT_EQ(C.Http.HeaderLines().Text(), "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 10\r\n");
  EXPECT_EQ(Record.Last(), "GET /s/ok/10 HTTP/1.0\r\n"
                           "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
                           "User-Agent: Mozilla/3.0 (compatible)\r\n"
                           "Host: 127.0.0.1\r\n\r\n");
}

TEST(HttpCli, EveryRequestFieldInItsOrder) {
  Client C;
  PeerRecord Record;
  TMemoryStream Body;
  Body.WriteBuffer("hello", 5);
  Body.SetPosition(0);
  THttpCli& H = C.Http;
  H.SetURL("http://h.example:81/s/echo");
  H.SetProxy("127.0.0.1");
  H.SetProxyPort(PeerPort());
  H.SetSender("me@x");
  H.SetAccept("a/b");
  H.SetReference("http://r/");
  H.SetAcceptLanguage("ja");
  H.SetContentTypePost("text/x");
  H.SetAgent("Ag");
  H.SetNoCache(true);
  H.SetModifiedSince(EncodeDate(2026, 12, 8) + EncodeTime(9, 5, 3, 0));
  H.SetUsername("u");
  H.SetPassword("p");
  H.SetProxyUsername("pu");
  H.SetProxyPassword("pp");
  H.SetCookie("c=1");
  H.SetContentRangeBegin("5");
  H.SetContentRangeEnd("9");
  H.SetPostStream(&Body);
  H.Post();
  EXPECT_EQ(Record.Last(), "POST http://h.example:81/s/echo HTTP/1.0\r\n"
                           "From: me@x\r\n"
                           "Accept: a/b\r\n"
                           "Referer: http://r/\r\n"
                           "Accept-Language: ja\r\n"
                           "Content-Type: text/x\r\n"
                           "User-Agent: Ag\r\n"
                           "Host: h.example\r\n"
                           "Pragma: no-cache\r\n"
                           "Content-Length: 5\r\n"
                           "If-Modified-Since: Tue, 08 Dec 2026 09:05:03 GMT\r\n"
                           "Authorization: Basic dTpw\r\n"
                           "Proxy-Authorization: Basic cHU6cHA=\r\n"
                           "Cookie: c=1\r\n"
                           "Range: bytes=5-9\r\n"
                           "\r\n"
                           "hello");
  EXPECT_EQ(H.ContentRangeBegin(), "");
  EXPECT_EQ(H.ContentRangeEnd(), "");
  EXPECT_EQ(H.SentBytes(), 5);
}

TEST(HttpCli, ConditionalFields) {
  struct Case {
    const char* Name;
    std::function<void(THttpCli&)> Set;
    const char* Field;
    const char* Want;
  };
  const Case Cases[] = {
      {"password without user", [](THttpCli& H) { H.SetPassword("p"); }, "Authorization", "<none>"},
      {"user without password", [](THttpCli& H) { H.SetUsername("u"); }, "Authorization", "Basic dTo="},
      {"proxy user without proxy", [](THttpCli& H) { H.SetProxyUsername("pu"); }, "Proxy-Authorization", "<none>"},
      {"range begin alone", [](THttpCli& H) { H.SetContentRangeBegin("100"); }, "Range", "bytes=100-"},
      {"range end alone", [](THttpCli& H) { H.SetContentRangeEnd("7"); }, "Range", "bytes=-7"},
      {"credentials in the URL",
       [](THttpCli& H) { H.SetURL("http://us:pw@127.0.0.1:" + PeerPort() + "/s/ok/0"); }, "Authorization",
       "Basic dXM6cHc="},
      {"empty accept and agent", [](THttpCli& H) { H.SetAccept(""); H.SetAgent(""); }, "Accept", "<none>"},
      {"no cache off", [](THttpCli&) {}, "Pragma", "<none>"},
      {"content type only for POST", [](THttpCli&) {}, "Content-Type", "<none>"},
  };
  for (const Case& K : Cases) {
    Client C;
    PeerRecord Record;
    C.Http.SetURL(PeerUrl("/s/ok/0"));
    K.Set(C.Http);
    C.Http.Get();
    EXPECT_EQ(HeaderField(Record.Last(), K.Field), K.Want) << K.Name;
    EXPECT_EQ(C.Http.ContentRangeBegin() + C.Http.ContentRangeEnd(), "") << K.Name;
  }
  // Credentials found in a URL stay with the client.
  Client C;
  C.Http.SetURL("http://us:pw@127.0.0.1:" + PeerPort() + "/s/ok/0");
  C.Http.Get();
  EXPECT_EQ(C.Http.Username(), "us");
  EXPECT_EQ(C.Http.Password(), "pw");
}

TEST(HttpCli, HandlersChangeTheHeaderLines) {
  {
    Client C;
    PeerRecord Record;
    C.Http.SetURL(PeerUrl("/s/ok/0"));
    C.Http.OnBeforeHeaderSend = [](TObject*, const std::string& Method, TStrings& Lines) {
      EXPECT_EQ(Method, "GET");
      Lines.Delete(1);  // Accept
      Lines.Add("X-Added: 1");
    };
    C.Http.OnCommand = [](TObject*, std::string& S) {
      if (S.rfind("User-Agent:", 0) == 0) S = "User-Agent: changed";
    };
    C.Http.Get();
    EXPECT_EQ(Record.Last(), "GET /s/ok/0 HTTP/1.0\r\nUser-Agent: changed\r\nHost: 127.0.0.1\r\nX-Added: 1\r\n\r\n");
  }
  {
    // A line emptied by OnCommand still gets its CR LF: the header ends there.
    Client C;
    PeerRecord Record;
    C.Http.SetURL(PeerUrl("/s/ok/2"));
    C.Http.OnCommand = [](TObject*, std::string& S) {
      if (S.rfind("User-Agent:", 0) == 0) S.clear();
    };
    C.Http.Get();
    const std::string Request = Record.Requests().at(0);
    EXPECT_EQ(Request.substr(0, Request.find("\r\n\r\n") + 4),
              "GET /s/ok/2 HTTP/1.0\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n\r\n");
    EXPECT_EQ(StreamText(C.Doc), Pattern(2));
  }
}

struct LocationCase {
  bool ThroughProxy;
  const char* Value;  // "{port}" stands for the peer's port
  const char* SecondLine;
  const char* Host;
  const char* Location;
  const char* DocumentName;
  std::size_t Body;
};

std::string WithPort(std::string S) {
  for (auto At = S.find("{port}"); At != std::string::npos; At = S.find("{port}"))
    S.replace(At, 6, PeerPort());
  return S;
}

TEST(HttpCli, EveryLocationForm) {
  const LocationCase Cases[] = {
      {false, "/s/ok/3", "GET /s/ok/3 HTTP/1.0", "127.0.0.1", "http://127.0.0.1/s/ok/3", "3", 3},
      {false, "../ok/4", "GET /s/loc/../ok/4 HTTP/1.0", "127.0.0.1", "http://127.0.0.1/s/loc/../ok/4", "4", 4},
      {false, "http://localhost:{port}/s/ok/5", "GET /s/ok/5 HTTP/1.0", "localhost", "http://localhost/s/ok/5", "5",
       5},
      {false, "http://localhost:{port}", "GET / HTTP/1.0", "localhost", "http://localhost", "document.htm", 0},
      {false, "http:///s/ok/6", "GET /s/ok/6 HTTP/1.0", "127.0.0.1", "http://127.0.0.1/s/ok/6", "6", 6},
      {false, "/s/ok/7/", "GET /s/ok/7/ HTTP/1.0", "127.0.0.1", "http://127.0.0.1/s/ok/7/", "document.htm", 7},
      {false, "/s/ok/8?x=1", "GET /s/ok/8?x=1 HTTP/1.0", "127.0.0.1", "http://127.0.0.1/s/ok/8?x=1", "8", 8},
      {false, "/s/ok/9#part", "GET /s/ok/9#part HTTP/1.0", "127.0.0.1", "http://127.0.0.1/s/ok/9#part", "9", 9},
      // The scheme's letters in any case; a "://" in a query is no scheme.
      {false, "HTTP://localhost:{port}/s/ok/5", "GET /s/ok/5 HTTP/1.0", "localhost", "http://localhost/s/ok/5", "5",
       5},
      {false, "../ok/6?u=http://x", "GET /s/loc/../ok/6?u=http://x HTTP/1.0", "127.0.0.1",
       "http://127.0.0.1/s/loc/../ok/6?u=http://x", "6", 6},
      {true, "Http://k.example:8080/s/ok/4", "GET http://k.example:8080/s/ok/4 HTTP/1.0", "k.example",
       "http://k.example:8080/s/ok/4", "4", 4},
      {true, "/s/ok/3", "GET http://127.0.0.1:{port}/s/ok/3 HTTP/1.0", "127.0.0.1",
       "http://127.0.0.1:{port}/s/ok/3", "3", 3},
      {true, "http://k.example:8080/s/ok/4", "GET http://k.example:8080/s/ok/4 HTTP/1.0", "k.example",
       "http://k.example:8080/s/ok/4", "4", 4},
      {true, "../ok/5", "GET http://127.0.0.1:{port}/s/loc/../ok/5 HTTP/1.0", "127.0.0.1",
       "http://127.0.0.1:{port}/s/loc/../ok/5", "5", 5},
      {true, "http:///s/ok/6", "GET http://127.0.0.1:{port}/s/ok/6 HTTP/1.0", "127.0.0.1",
       "http://127.0.0.1:{port}/s/ok/6", "6", 6},
  };
  for (const LocationCase& K : Cases) {
    const std::string Name = std::string(K.ThroughProxy ? "proxy " : "direct ") + K.Value;
    Client C;
    PeerRecord Record;
    C.Http.SetURL(PeerUrl("/s/loc/" + Encode(K.Value)));
    if (K.ThroughProxy) {
      C.Http.SetProxy("127.0.0.1");
      C.Http.SetProxyPort(PeerPort());
    }
    C.Http.Get();
    const auto Requests = Record.Requests();
    ASSERT_EQ(Requests.size(), 2u) << Name;
    EXPECT_EQ(RequestLine(Requests[1]), WithPort(K.SecondLine)) << Name;
    EXPECT_EQ(HeaderField(Requests[1], "Host"), K.Host) << Name;
    EXPECT_EQ(C.Http.Location(), WithPort(K.Location)) << Name;
    EXPECT_EQ(C.Http.DocumentName(), K.DocumentName) << Name;
    EXPECT_EQ(StreamText(C.Doc), Pattern(K.Body)) << Name;
    EXPECT_EQ(C.Log.CountOf("LocationChange " + WithPort(K.Location)), 1) << Name;
    EXPECT_EQ(C.Log.RequestsDone, 1) << Name;
  }
}

TEST(HttpCli, PostRelocatedBecomesGetWithoutBody) {
  Client C;
  PeerRecord Record;
  TMemoryStream Body;
  const std::string Sent = Pattern(20000);
  Body.WriteBuffer(Sent.data(), static_cast<std::int64_t>(Sent.size()));
  Body.SetPosition(0);
  C.Http.SetPostStream(&Body);
  C.Http.SetURL(PeerUrl("/s/loc/" + Encode("/s/ok/4")));
  C.Http.Post();
  const auto Requests = Record.Requests();
  ASSERT_EQ(Requests.size(), 2u);
  EXPECT_EQ(Requests[0].substr(Requests[0].size() - Sent.size()), Sent);
  EXPECT_EQ(HeaderField(Requests[0], "Content-Length"), "20000");
  EXPECT_EQ(Requests[1], "GET /s/ok/4 HTTP/1.0\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                         "*/*\r\nUser-Agent: Mozilla/3.0 (compatible)\r\nHost: 127.0.0.1\r\n\r\n");
  // One piece per data-sent notification, each as large as the send buffer.
  EXPECT_EQ(C.Log.CountOf("SendData 8193"), 2);
  EXPECT_EQ(C.Log.CountOf("SendData 3614"), 1);
  EXPECT_EQ(C.Log.CountOf("SendEnd"), 1);
  EXPECT_EQ(C.Http.SentBytes(), 20000);
  EXPECT_EQ(StreamText(C.Doc), Pattern(4));
  // Relocated while its body is still going out: the rest of the body never
  // follows the GET on the new connection.
  Client Early;
  const std::string Big = Pattern(8 << 20);
  TMemoryStream Large;
  Large.WriteBuffer(Big.data(), static_cast<std::int64_t>(Big.size()));
  Large.SetPosition(0);
  Early.Http.SetPostStream(&Large);
  Early.Http.SetURL(PeerUrl("/s/earlyloc/" + Encode("/s/extra")));
  Early.Http.Post();
  EXPECT_EQ(StreamText(Early.Doc), "0");
  EXPECT_LT(Early.Http.SentBytes(), 8 << 20);
}

TEST(HttpCli, RelocationsEndAfterTwenty) {
  Client C;
  PeerRecord Record;
  C.Http.SetURL(PeerUrl("/s/loop"));
  EXPECT_EQ(Raised([&] { C.Http.Get(); }), "404 Too many relocations (more than 20)");
  EXPECT_EQ(Record.Requests().size(), 21u);
  EXPECT_EQ(C.Log.CountOf("LocationChange http://127.0.0.1/s/loop"), 20);
  EXPECT_EQ(C.Http.RequestError(), httperrTooManyRelocations);
  EXPECT_EQ(C.Http.ResponseCode(), 404);
  EXPECT_EQ(C.Log.CountOf("DocBegin"), 0);
  EXPECT_EQ(C.Doc.Size(), 0);
  // The count belongs to one request: the next one may relocate again.
  C.Http.SetURL(PeerUrl("/s/loc/" + Encode("/s/ok/1")));
  C.Http.Get();
  EXPECT_EQ(StreamText(C.Doc), Pattern(1));
}

TEST(HttpCli, ResponseWithoutHeader) {
  Client C;
  C.Http.SetURL(PeerUrl("/s/html"));
  C.Http.Get();
  EXPECT_EQ(C.Http.ContentType(), "text/html");
  // The document is stored as the server sent it, line ends included.
  EXPECT_EQ(C.Log.Body, "<hTmL>\r\n<body>x</body>\r\nrest");
  EXPECT_EQ(StreamText(C.Doc), C.Log.Body);
  EXPECT_EQ(C.Http.ResponseCode(), 0);
  const auto& E = C.Log.Events;
  const auto HeaderEnd = std::find(E.begin(), E.end(), "HeaderEnd");
  EXPECT_LT(HeaderEnd - E.begin(), std::find(E.begin(), E.end(), "DocBegin") - E.begin());
}

TEST(HttpCli, ZeroLengthEndsBeforeTheCloseAndTheNextRequestRuns) {
  Client C;
  C.Http.SetURL(PeerUrl("/s/zero"));
  C.Http.Get();  // the peer keeps the connection open: only the length can end this
  EXPECT_EQ(C.Http.ResponseCode(), 200);
  EXPECT_EQ(C.Http.ContentLength(), 0);
  EXPECT_EQ(C.Log.CountOf("DocBegin") + C.Log.CountOf("DocEnd"), 0);
  EXPECT_NE(C.Http.CtrlSocket().State(), wsClosed);
  ASSERT_TRUE(PumpUntil([&] { return C.Log.RequestsDone == 1; }));

  C.Http.SetURL(PeerUrl("/s/ok/5"));
  C.Http.Get();
  EXPECT_EQ(StreamText(C.Doc), Pattern(5));
  EXPECT_EQ(C.Http.ResponseCode(), 200);
  EXPECT_EQ(C.Http.State(), hsIdle);
  // Nothing of the first request turns up later.
  ASSERT_TRUE(PumpUntil([&] { return C.Log.RequestsDone == 2; }));
  testsupport::DrainQueue();
  EXPECT_EQ(C.Log.RequestsDone, 2);
}

TEST(HttpCli, ErrorStatusRaisesAndTheClientGoesOn) {
  Client C;
  C.Http.SetURL(PeerUrl("/s/status/404/300000"));
  // The peer never closes: the client must.
  EXPECT_EQ(Raised([&] { C.Http.Get(); }), "404 Not Found");
  EXPECT_EQ(C.Http.ResponseCode(), 404);
  EXPECT_EQ(C.Http.ResponseText(), "Not Found");
  EXPECT_LE(C.Doc.Size(), 8192);
  EXPECT_EQ(C.Log.CountOf("DocEnd"), C.Doc.Size() > 0 ? 1 : 0);

  C.Http.SetURL(PeerUrl("/s/ok/6"));
  C.Http.Get();
  EXPECT_EQ(C.Http.ResponseCode(), 200);
  EXPECT_EQ(C.Http.RequestError(), 0);
}

TEST(HttpCli, HeaderLinesAtTheBufferEdge) {
  struct Case {
    int Length;
    const char* End;
    bool Passes;
  };
  // The buffer holds 8192 bytes: the line and its whole line end must fit.
  const Case Cases[] = {{8190, "crlf", true}, {8191, "crlf", false}, {8191, "lf", true}, {8192, "lf", false}};
  for (const Case& K : Cases) {
    const std::string Name = std::to_string(K.Length) + " " + K.End;
    Client C;
    C.Http.SetURL(PeerUrl("/s/longline/" + std::to_string(K.Length) + "/" + K.End));
    if (K.Passes) {
      C.Http.Get();
      ASSERT_EQ(C.Http.HeaderLines().Count(), 2) << Name;
      EXPECT_EQ(C.Http.HeaderLines()[1].size(), static_cast<std::size_t>(K.Length)) << Name;
      EXPECT_EQ(StreamText(C.Doc), "ok") << Name;
    } else {
      EXPECT_EQ(Raised([&] { C.Http.Get(); }), "404 HTTP line too long") << Name;
      EXPECT_EQ(C.Http.HeaderLines().Count(), 1) << Name;
      EXPECT_EQ(C.Doc.Size(), 0) << Name;
      EXPECT_EQ(C.Http.RequestError(), httperrLineTooLong) << Name;
      EXPECT_TRUE(PumpUntil([&] { return C.Log.LastDoneError == httperrLineTooLong; })) << Name;
    }
  }
}

TEST(HttpCli, ZeroByteInAHeaderHidesTheLineEnd) {
  Client C;
  C.Http.SetURL(PeerUrl("/s/nul"));
  EXPECT_THROW(C.Http.Get(), EHttpException);
  EXPECT_EQ(C.Http.ResponseText(), "HTTP line too long");
  EXPECT_EQ(C.Http.HeaderLines().Text(), "HTTP/1.0 200 OK\r\n");
  EXPECT_EQ(C.Doc.Size(), 0);
}

TEST(HttpCli, LineFeedsAloneEndLines) {
  Client C;
  C.Http.SetURL(PeerUrl("/s/lf"));
  C.Http.Get();
  EXPECT_EQ(C.Http.HeaderLines().Count(), 3);
  EXPECT_EQ(C.Http.HeaderLines()[2], "X-Cr: a\rb");
  EXPECT_EQ(C.Http.ContentType(), "text/html; charset=x");
  EXPECT_EQ(StreamText(C.Doc), "body\nmore");
}

// A document store that fills up after 1000 bytes.
class TFullStream : public TMemoryStream {
 public:
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    if (Size() + Count > 1000) throw EStreamError("disk full");
    return TMemoryStream::Write(Buffer, Count);
  }
};

std::string Raw(const std::string& How, const std::string& Bytes) {
  return PeerUrl("/s/" + How + "/" + Encode(Bytes));
}

TEST(HttpCli, EveryWayARequestEnds) {
  // A request ends as a failure (404 and an error number) whenever the
  // document did not arrive whole, and only then; it never hangs.
  struct Case {
    const char* Name;
    std::function<void(Client&)> Set;
    std::int32_t Code;
    std::int32_t Error;
    std::string Text;
    THttpRequest Request = rqGet;
    const char* Doc = nullptr;
    // Wine reports a reset that follows data as a plain close (Windows says
    // 10054): what the client then makes of it.
    std::int32_t PlainCode = 0, PlainError = 0;
    const char* PlainText = nullptr;
  };
  const std::string Head100 = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n";
  const std::string Cl = "HTTP/1.0 200 OK\r\nContent-Length: ";
  const std::string LongValue(100, '7');
  std::string Busy;
  const auto GetInside = [&](Client& C) {
    try {
      C.Http.Get();
    } catch (EHttpException& E) {
      Busy = E.Message();
      throw;
    }
  };
  const std::string Moved = "HTTP/1.0 302 Found\r\nLocation: ";
  const Case Cases[] = {
      {"proxy port empty", [](Client& C) { C.Http.SetURL(PeerUrl("/s/ok/1")); C.Http.SetProxy("127.0.0.1");
         C.Http.SetProxyPort(""); }, 404, 30006, "can't connect: invalid address or port"},
      {"port not a number", [](Client& C) { C.Http.SetURL("http://127.0.0.1:abc/"); }, 404, 30006,
       "can't connect: invalid address or port"},
      {"reset in the body", [&](Client& C) { C.Http.SetURL(Raw("rawreset", Head100 + Pattern(50))); }, 404, 10054,
       "document incomplete: 50 of 100 bytes", rqGet, nullptr, 404, 30002, "document incomplete: 50 of 100 bytes"},
      {"reset without a length", [&](Client& C) { C.Http.SetURL(Raw("rawreset", "HTTP/1.0 200 OK\r\n\r\n" +
         Pattern(50))); }, 404, 10054, "document incomplete: 50 bytes", rqGet, nullptr, 200, 0, "OK"},
      {"reset after the whole body", [&](Client& C) { C.Http.SetURL(Raw("rawreset", Head100 + Pattern(100))); },
       200, 0, "OK"},
      {"closed in the body", [](Client& C) { C.Http.SetURL(PeerUrl("/s/cutbody/5000")); }, 404, 30002,
       "document incomplete: 5000 of 10000 bytes"},
      {"closed before anything", [](Client& C) { C.Http.SetURL(Raw("raw", "")); }, 404, 30002,
       "connection closed before the header ended"},
      {"closed before a status line", [](Client& C) { C.Http.SetURL(Raw("raw", "X-A: b\r\n")); }, 404, 30002,
       "connection closed before the header ended"},
      {"zero byte in the status line", [](Client& C) { C.Http.SetURL(Raw("raw", std::string("HTTP/1.0 200 OK\0\r\n"
         "\r\nbody", 24))); }, 404, 30002, "connection closed before the header ended"},
      {"closed in the header, no length", [](Client& C) { C.Http.SetURL(PeerUrl("/s/cuthead")); }, 200, 0, "OK"},
      {"closed in the header after a length", [&](Client& C) { C.Http.SetURL(Raw("raw", Cl + "5\r\n")); }, 404,
       30002, "document incomplete: 0 of 5 bytes"},
      {"HEAD cut short", [](Client& C) { C.Http.SetURL(PeerUrl("/s/cutbody/50")); }, 200, 0, "OK", rqHead},
      {"204 with a length", [](Client& C) { C.Http.SetURL(Raw("raw", "HTTP/1.0 204 No Content\r\n"
         "Content-Length: 10\r\n\r\n")); }, 204, 0, "No Content"},
      {"304 with a length", [](Client& C) { C.Http.SetURL(Raw("raw", "HTTP/1.0 304 Not Modified\r\n"
         "Content-Length: 10\r\n\r\n")); }, 304, 0, "Not Modified"},
      {"status of two digits", [](Client& C) { C.Http.SetURL(Raw("rawhold", "HTTP/1.0 20 OK\r\n\r\nbody")); },
       404, 30003, "bad response: HTTP/1.0 20 OK"},
      {"status not a number", [](Client& C) { C.Http.SetURL(Raw("rawhold", "HTTP/1.0 abc\r\nX: y\r\n\r\n")); },
       404, 30003, "bad response: HTTP/1.0 abc"},
      {"length not a number", [&](Client& C) { C.Http.SetURL(Raw("rawhold", Cl + "abc\r\n\r\nbody")); }, 404,
       30003, "bad response: Content-Length: abc"},
      {"length too large", [&](Client& C) { C.Http.SetURL(Raw("rawhold", Cl + "99999999999\r\n\r\n")); }, 404,
       30003, "bad response: Content-Length: 99999999999"},
      {"negative length", [&](Client& C) { C.Http.SetURL(Raw("rawhold", Cl + "-5\r\n\r\n")); }, 404, 30003,
       "bad response: Content-Length: -5"},
      {"long bad line", [&](Client& C) { C.Http.SetURL(Raw("rawhold", Cl + LongValue + "\r\n\r\n")); }, 404,
       30003, "bad response: " + (Cl.substr(17) + LongValue).substr(0, 80)},
      {"header without end", [](Client& C) { C.Http.SetURL(PeerUrl("/s/headers")); }, 404, 30003,
       "bad response: X-More: " + std::string(72, 'm')},
      {"document store full", [](Client& C) { C.Http.SetURL(PeerUrl("/s/ok/100000"));
         C.Http.SetDocStream(new TFullStream); }, 404, 30004, "document not stored: disk full"},
      {"abort at the header's begin", [](Client& C) { C.Http.SetURL(PeerUrl("/s/ok/10"));
         C.Http.OnHeaderBegin = [&C](TObject*) { C.Log.Events.push_back("HeaderBegin"); C.Http.Abort(); }; }, 404, 3,
       "Connection aborted on request"},
      {"another scheme", [&](Client& C) { C.Http.SetURL(Raw("rawhold", Moved + "https://h/x\r\n\r\n")); }, 404,
       30005, "relocation to an unsupported scheme: https"},
      {"another scheme, closed in the header", [&](Client& C) { C.Http.SetURL(Raw("raw", Moved + "ftp://h/x\r\n")); },
       404, 30005, "relocation to an unsupported scheme: ftp"},
      // Held open by the server after a whole body: the client ends it there.
      {"held open after the body", [](Client& C) { C.Http.SetURL(Raw("rawhold", "HTTP/1.0 200 OK\r\n"
         "Content-Length: 5\r\n\r\nhello")); }, 200, 0, "OK", rqGet, "hello"},
      {"more than the length", [](Client& C) { C.Http.SetURL(Raw("rawhold", "HTTP/1.0 200 OK\r\n"
         "Content-Length: 5\r\n\r\nhello, and more")); }, 200, 0, "OK", rqGet, "hello"},
      {"Get inside OnDocEnd", [&](Client& C) { C.Http.SetURL(PeerUrl("/s/ok/10"));
         C.Http.OnDocEnd = [&](TObject*) { C.Log.Events.push_back("DocEnd"); GetInside(C); }; }, 200, 0, "OK"},
      {"Get inside OnLocationChange", [&](Client& C) { C.Http.SetURL(PeerUrl("/s/loc/" + Encode("/s/ok/3")));
         C.Http.OnLocationChange = [&](TObject*) { C.Log.Events.push_back("LocationChange"); GetInside(C); }; }, 200, 0,
       "OK"},
  };
  for (const Case& K : Cases) {
    Client C;
    K.Set(C);
    std::unique_ptr<TStream> Own(C.Http.DocStream() == &C.Doc ? nullptr : C.Http.DocStream());
    Busy.clear();
    if (!RunAsync(C.Http, C.Log, K.Request)) {
      ADD_FAILURE() << K.Name << ": no end";
      continue;
    }
#ifdef _WIN32
    const bool Plain = K.PlainText && C.Http.RequestError() != K.Error;
#else
    const bool Plain = false;
#endif
    const std::int32_t Code = Plain ? K.PlainCode : K.Code;
    const std::int32_t Error = Plain ? K.PlainError : K.Error;
    const std::string Text = Plain ? K.PlainText : K.Text;
    EXPECT_EQ(C.Http.ResponseCode(), Code) << K.Name;
    EXPECT_EQ(C.Http.RequestError(), Error) << K.Name;
    EXPECT_EQ(C.Log.LastDoneError, Error) << K.Name;
    EXPECT_EQ(C.Http.ResponseText(), Text) << K.Name;
    EXPECT_EQ(C.Http.State(), hsIdle) << K.Name;
    EXPECT_EQ(C.Http.ReceivedBytes(), C.Http.DocStream()->Size()) << K.Name;
    if (K.Doc) {
      EXPECT_EQ(StreamText(C.Doc), K.Doc) << K.Name;
    }
    // Each begun part of the response is ended once, then the request.
    EXPECT_EQ(C.Log.CountOf("HeaderEnd"), C.Log.CountOf("HeaderBegin")) << K.Name;
    EXPECT_EQ(C.Log.CountOf("DocEnd"), C.Log.CountOf("DocBegin")) << K.Name;
    EXPECT_EQ(std::count_if(C.Log.Events.begin(), C.Log.Events.end(),
                            [](const std::string& E) { return E.rfind("LocationChange", 0) == 0; }),
              std::string(K.Name).find("OnLocationChange") != std::string::npos)
        << K.Name;
    const std::vector<std::string> Last(C.Log.Events.end() - 2, C.Log.Events.end());
    EXPECT_EQ(Last, (std::vector<std::string>{"State hsIdle", "RequestDone " + std::to_string(Error)})) << K.Name;
    testsupport::DrainQueue();
    EXPECT_EQ(C.Log.RequestsDone, 1) << K.Name;
    // A request started from inside a running one is refused, and the running one still ends.
    EXPECT_EQ(Busy, std::string(K.Name).rfind("Get inside", 0) == 0 ? "HTTP component is busy" : "") << K.Name;
    if (Code == 404 && K.Request == rqGet) {
      EXPECT_EQ(Raised([&] { C.Http.Get(); }), "404 " + Text) << K.Name;
    }
  }
}

TEST(HttpCli, CookiesChallengesAndRanges) {
  Client C;
  PeerRecord Record;
  std::vector<std::string> Cookies;
  C.Http.OnCookie = [&](TObject*, const std::string& Data, bool& Accept) {
    EXPECT_TRUE(Accept);
    Cookies.push_back(Data);
  };
  C.Http.SetURL(PeerUrl("/s/cookie"));
  C.Http.Get();
  EXPECT_EQ(Cookies, (std::vector<std::string>{"a=1; path=/", "b=2"}));
  EXPECT_EQ(C.Http.AuthChallenges().Text(), "Basic realm=\"r\"\r\n");
  EXPECT_EQ(C.Http.AcceptRanges(), "bytes");
  EXPECT_EQ(C.Http.ContentRangeBegin(), "100");
  EXPECT_EQ(C.Http.ContentRangeEnd(), "199");
  // A received range is asked for again unless the caller clears it.
  C.Http.SetURL(PeerUrl("/s/ok/1"));
  C.Http.Get();
  EXPECT_EQ(HeaderField(Record.Last(), "Range"), "bytes=100-199");
  EXPECT_EQ(C.Http.AcceptRanges(), "");
  EXPECT_EQ(C.Http.AuthChallenges().Count(), 1);
}

TEST(HttpCli, DottedHostConnectsInsideStartAndNamedHostLater) {
  {
    Client C;
    C.Http.SetURL(PeerUrl("/s/ok/3"));
    C.Http.StartRequest(rqGet);
    // The lookup of a dotted address was answered at once, inside the start.
    EXPECT_EQ(C.Http.State(), hsResolved);
    ASSERT_TRUE(PumpUntil([&] { return C.Log.RequestsDone == 1; }));
    EXPECT_EQ(StreamText(C.Doc), Pattern(3));
  }
  {
    Client C;
    C.Http.SetURL("http://localhost:" + PeerPort() + "/s/ok/4");
    C.Http.StartRequest(rqGet);
    EXPECT_EQ(C.Http.State(), hsResolving);
    ASSERT_TRUE(PumpUntil([&] { return C.Log.RequestsDone == 1; }));
    EXPECT_EQ(StreamText(C.Doc), Pattern(4));
  }
}

TEST(HttpCli, AbortInEveryPhase) {
  struct Case {
    const char* Name;
    std::string Url;
    // Where the abort comes from: 0 right after the start, else an event.
    const char* From;
    THttpClientState StateAtAbort;
  };
  const Case Cases[] = {
      {"resolving", "http://localhost:" + PeerPort() + "/s/ok/1", "", hsResolving},
      {"connecting", PeerUrl("/s/ok/1"), "", hsResolved},
      {"header", PeerUrl("/s/holdhead"), "HeaderData", hsAwaitingHeader},
      {"body", PeerUrl("/s/holdbody"), "DocData", hsAwaitingBody},
  };
  for (const Case& K : Cases) {
    Client C;
    PeerRecord Record;
    THttpClientState Seen = hsIdle;
    const auto AbortNow = [&](TObject*) {
      Seen = C.Http.State();
      C.Http.Abort();
    };
    if (std::string(K.From) == "HeaderData") C.Http.OnHeaderData = AbortNow;
    if (std::string(K.From) == "DocData")
      C.Http.OnDocData = [&](TObject* S, const void*, std::int32_t) { AbortNow(S); };
    C.Http.SetURL(K.Url);
    C.Http.StartRequest(rqGet);
    if (!*K.From) {
      AbortNow(nullptr);
      EXPECT_EQ(C.Http.State(), hsIdle) << K.Name;
    }
    ASSERT_TRUE(PumpUntil([&] { return C.Log.RequestsDone == 1; })) << K.Name;
    EXPECT_EQ(Seen, K.StateAtAbort) << K.Name;
    EXPECT_EQ(C.Http.State(), hsIdle) << K.Name;
    EXPECT_EQ(C.Log.LastDoneError, 3) << K.Name;
    EXPECT_EQ(C.Http.ResponseCode(), 404) << K.Name;
    EXPECT_EQ(C.Http.ResponseText(), "Connection aborted on request") << K.Name;
    EXPECT_EQ(C.Http.CtrlSocket().State(), wsClosed) << K.Name;
    if (std::string(K.Name) == "resolving") {
      // A late answer of the cancelled lookup must not connect.
      PumpUntil([] { return false; }, 500);
      EXPECT_EQ(Record.Requests().size(), 0u);
      EXPECT_EQ(C.Log.CountOf("State hsResolved"), 0);
    }
    testsupport::DrainQueue();
    EXPECT_EQ(C.Log.RequestsDone, 1) << K.Name;
  }
  // Idle with the socket closed: nothing at all.
  Client C;
  C.Http.Abort();
  testsupport::DrainQueue();
  EXPECT_TRUE(C.Log.Events.empty());
}

TEST(HttpCli, SynchronousGetRaisesAfterAbort) {
  Client C;
  C.Http.SetURL(PeerUrl("/s/holdbody"));
  C.Http.OnDocData = [&](TObject*, const void*, std::int32_t) { C.Http.Abort(); };
  EXPECT_EQ(Raised([&] { C.Http.Get(); }), "404 Connection aborted on request");
}

TEST(HttpCli, MisuseRaisesAndChangesNothing) {
  Client C;
  C.Http.SetURL(PeerUrl("/s/ok/7"));
  EXPECT_EQ(Raised([&] { C.Http.Post(); }), "2 HTTP component has nothing to post");
  EXPECT_TRUE(C.Log.Events.empty());
  C.Http.StartRequest(rqGet);
  const auto Before = C.Log.Events.size();
  EXPECT_EQ(Raised([&] { C.Http.Get(); }), "1 HTTP component is busy");
  EXPECT_EQ(C.Log.Events.size(), Before);
  ASSERT_TRUE(PumpUntil([&] { return C.Log.RequestsDone == 1; }));
  EXPECT_EQ(StreamText(C.Doc), Pattern(7));
}

TEST(HttpCli, LocalFailuresEndWith404) {
  struct Case {
    const char* Name;
    std::string Url;
    const char* Text;
  };
  const Case Cases[] = {
      // Nothing listens on port 1 of loopback.
      {"refused", "http://127.0.0.1:1/", "Connection refused"},
      {"no host", "./x.htm", "can't resolve hostname to IP address"},
      {"unknown host", "http://no-such-host.invalid/", "can't resolve hostname to IP address"},
  };
  for (const Case& K : Cases) {
    Client C;
    C.Http.SetURL(K.Url);
    const std::string R = Raised([&] { C.Http.Get(); });
    EXPECT_EQ(R.rfind("404 ", 0), 0u) << K.Name << ": " << R;
    EXPECT_NE(R.find(K.Text), std::string::npos) << K.Name << ": " << R;
    EXPECT_NE(C.Http.RequestError(), 0) << K.Name;
    EXPECT_TRUE(PumpUntil([&] { return C.Log.RequestsDone == 1; })) << K.Name;
  }
}

TEST(HttpCli, HardCloseAfterAnErrorStatus) {
  // The socket closes hard (linger on, time-out 0). The one close with a body
  // still on its way is a POST the server refuses before reading it: what
  // the client needs, the refusal, must arrive whole every time; what the
  // server no longer wants of the body may be cut.
  const std::string Sent = Pattern(8 << 20);
  const std::string Log = testsupport::BuildTreeFolder(Env("DRAVIN_HTTP_PEER_LOG"));
  for (int Round = 1; Round <= 3; ++Round) {
    Client C;
    TMemoryStream Body;
    Body.WriteBuffer(Sent.data(), static_cast<std::int64_t>(Sent.size()));
    Body.SetPosition(0);
    C.Http.SetPostStream(&Body);
    C.Http.SetURL(PeerUrl("/s/early"));
    EXPECT_EQ(Raised([&] { C.Http.Post(); }), "413 Too Large");
    EXPECT_EQ(StreamText(C.Doc), "large");
    const std::string Seen = Log + "\\early-" + std::to_string(Round);
    ASSERT_TRUE(PumpUntil([&] { return FileExists(Seen); })) << Round;
    const std::string Peer = testsupport::ReadFile(Seen);
    EXPECT_LT(std::stoll(Peer), static_cast<long long>(Sent.size())) << Peer;
    std::printf("round %d: the peer got %s of %zu body bytes\n", Round, Peer.c_str(), Sent.size());
  }
}

TEST(HttpCli, SocksSettingsOutliveEveryClose) {
  // Every close resets the socket's SOCKS server and port; the client's own
  // settings must still send each request, and each relocated one, through
  // the proxy.
  Client C;
  const std::string Count = testsupport::BuildTreeFolder(Env("DRAVIN_HTTP_PEER_LOG")) + "\\socks";
  const auto Relayed = [&] { return FileExists(Count) ? std::stoi(testsupport::ReadFile(Count)) : 0; };
  const int Before = Relayed();
  std::vector<TObject*> Connected;
  C.Http.OnSocksConnected = [&](TObject* Sender, std::uint16_t Error) {
    EXPECT_EQ(Error, 0);
    Connected.push_back(Sender);
  };
  C.Http.SetSocksServer("127.0.0.1");
  C.Http.SetSocksPort(Env("DRAVIN_HTTP_SOCKS_PORT"));
  C.Http.SetSocksLevel("5");
  C.Http.SetURL(PeerUrl("/s/loc/" + Encode("/s/ok/3")));
  C.Http.Get();
  C.Http.SetURL(PeerUrl("/s/ok/4"));
  C.Http.Get();
  EXPECT_EQ(StreamText(C.Doc), Pattern(3) + Pattern(4));
  EXPECT_EQ(Relayed() - Before, 3);
  EXPECT_EQ(Connected, std::vector<TObject*>(3, &C.Http.CtrlSocket()));
  EXPECT_EQ(C.Http.SocksServer(), "127.0.0.1");
}

TEST(HttpCli, MultiThreadedClientWaitsOnItsThreadsQueue) {
  // A client of a thread without the application's loop: its wait drains
  // that thread's own queue, where its socket's notifications arrive.
  std::string Body;
  bool SocketToo = false;
  std::thread Worker([&] {
    THttpCli Http(nullptr);
    TMemoryStream Doc;
    Http.SetMultiThreaded(true);
    SocketToo = Http.CtrlSocket().MultiThreaded();
    Http.SetDocStream(&Doc);
    Http.SetURL("http://localhost:" + PeerPort() + "/s/ok/300");
    try {
      Http.Get();
      Body = StreamText(Doc);
    } catch (Exception& E) {
      Body = "raised: " + E.Message();
    }
  });
  Worker.join();
  EXPECT_TRUE(SocketToo);
  EXPECT_EQ(Body, Pattern(300));
}

TEST(HttpCli, DocumentNameFromPathAndContentType) {
  struct Case {
    std::string Url;
    const char* ContentType;
    std::string Want;
  };
  const std::string Long(300, 'n');
  const Case Cases[] = {
      {"http://h/dir/setup.exe", "text/html", "setup.htm"},
      {"http://h/dir/setup.EXE", "text/html", "setup.htm"},
      {"http://h/dir/setup.exe", "Text/HTML; Charset=x", "setup.exe"},
      {"http://h/dir/setup.exe", "application/octet-stream", "setup.exe"},
      {"http://h/dir/readme", "text/html", "readme.htm"},
      {"http://h/dir/file.cgi?x=1", "text/html", "file.cgi"},
      {"http://h/dir/", "text/html", "document.htm"},
      {"http://h", "text/plain", "document.htm"},
      {"http://h/" + Long, "text/plain", Long.substr(0, 255)},
  };
  TStandInClient C;
  for (const Case& K : Cases) {
    C.SetURL(K.Url);
    C.Begin();
    C.Arrive(std::string("HTTP/1.0 200 OK\r\nContent-Type: ") + K.ContentType + "\r\nContent-Length: 1\r\n\r\nx");
    C.End();
    EXPECT_EQ(C.DocumentName(), K.Want) << K.Url << " " << K.ContentType;
  }
}

TEST(HttpCli, OnlyARangeOfNumbersIsKept) {
  // A kept range is asked for again by the next request: only numbers may go there.
  const std::pair<const char*, const char*> Cases[] = {
      {"bytes 100-199/1000", "100-199"}, {"bytes 0-0/*", "0-0"},     {"Bytes 5-9/10", "5-9"},
      {"bytes */1000", "-"},             {"bytes 5-x/10", "-"},      {"bytes -5/10", "-"},
      {"bytes 5-9", "-"},                {"items 1-2/3", "-"},       {"bytes 1/2-3", "-"},
  };
  TStandInClient C;
  for (const auto& [Value, Want] : Cases) {
    C.SetURL("http://h/x");
    C.Begin();
    C.Arrive(std::string("HTTP/1.0 206 Partial\r\nContent-Range: ") + Value + "\r\nContent-Length: 1\r\n\r\nx");
    C.End();
    EXPECT_EQ(C.ContentRangeBegin() + "-" + C.ContentRangeEnd(), Want) << Value;
    C.SetContentRangeBegin("");
    C.SetContentRangeEnd("");
  }
}

TEST(HttpCli, LinesAfterAnEndedResponseGoToOnDataLine) {
  TStandInClient C;
  int Lines = 0;
  C.OnDataLine = [&](TObject*, std::uint16_t Error) {
    EXPECT_EQ(Error, 0);
    ++Lines;
  };
  C.SetURL("http://h/x");
  C.Begin();
  C.Arrive("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
  RunQueued();
  ASSERT_EQ(C.State(), hsIdle);
  C.Arrive("one\r\ntwo\nthr");
  EXPECT_EQ(Lines, 2);
  EXPECT_EQ(C.HeaderLines().Count(), 2);
  C.End();
}

// A client on the heap whose every event counts, and whose At-th event frees
// it, aborts its request, or aborts it and starts a GET of 777 bytes.
struct Handled {
  enum TAct { actNone, actFree, actAbort, actRestart };
  THttpCli* Http = new THttpCli(nullptr);
  TMemoryStream Doc, NewDoc, Body;
  std::vector<std::string> Events;
  std::vector<std::pair<int, int>> Done;  // type and error of each OnRequestDone
  int At = 0;
  TAct Act = actNone;

  Handled() {
    const std::string Sent = Pattern(20000);
    Body.WriteBuffer(Sent.data(), static_cast<std::int64_t>(Sent.size()));
    Body.SetPosition(0);
    Http->SetPostStream(&Body);
    Http->SetDocStream(&Doc);
    THttpCli& C = *Http;
    C.OnStateChange = [this](TObject*) { Tick(std::string("State ") + StateName(Http->State())); };
    C.OnCommand = [this](TObject*, std::string& S) { Tick("Command " + S.substr(0, S.find(' '))); };
    On(C.OnSessionConnected, "SessionConnected"); On(C.OnRequestHeaderBegin, "RequestHeaderBegin");
    On(C.OnBeforeHeaderSend, "BeforeHeaderSend"); On(C.OnRequestHeaderEnd, "RequestHeaderEnd");
    On(C.OnSendBegin, "SendBegin"); On(C.OnSendData, "SendData"); On(C.OnSendEnd, "SendEnd");
    On(C.OnHeaderBegin, "HeaderBegin"); On(C.OnHeaderData, "HeaderData"); On(C.OnHeaderEnd, "HeaderEnd");
    On(C.OnCookie, "Cookie"); On(C.OnLocationChange, "LocationChange");
    On(C.OnDocBegin, "DocBegin"); On(C.OnDocData, "DocData"); On(C.OnDocEnd, "DocEnd");
    C.OnRequestDone = [this](TObject*, THttpRequest Type, std::uint16_t Error) {
      Done.emplace_back(Type, Error);
      Tick("RequestDone");
    };
  }
  ~Handled() { delete Http; }
  // An event of any signature that only ticks, by its name.
  template <typename... Args>
  void On(std::function<void(TObject*, Args...)>& Event, const char* Name) {
    Event = [this, Name](TObject*, Args...) { Tick(Name); };
  }
  // Nothing of the handler may be touched once the client is gone: the
  // handler is part of it.
  void Tick(const std::string& Name) {
    Events.push_back(Name);
    if (static_cast<int>(Events.size()) != At) return;
    if (Act == actFree) {
      delete std::exchange(Http, nullptr);
      return;
    }
    Http->Abort();
    if (Act != actRestart) return;
    Http->SetURL(PeerUrl("/s/ok/777"));
    Http->SetDocStream(&NewDoc);
    Http->StartRequest(rqGet);
  }
};

TEST(HttpCli, HandlersThatFreeAbortOrRestartInEveryEvent) {
  struct Scenario {
    const char* Name;
    THttpRequest Request;
    std::string Url;
    std::string Body;
  };
  const Scenario Scenarios[] = {
      {"GET", rqGet, PeerUrl("/s/ok/30000"), Pattern(30000)},
      {"POST", rqPost, PeerUrl("/s/cookie"), "ok"},
      {"relocated GET", rqGet, PeerUrl("/s/loc/" + Encode("/s/ok/30000")), Pattern(30000)},
  };
  int Runs = 0;
  for (const Scenario& S : Scenarios) {
    // A run of no handler gives the events in their order.
    std::vector<std::string> Clean;
    {
      Handled H;
      H.Http->SetURL(S.Url);
      H.Http->StartRequest(S.Request);
      ASSERT_TRUE(PumpUntil([&] { return !H.Done.empty(); })) << S.Name;
      ASSERT_EQ(H.Done, (std::vector<std::pair<int, int>>{{S.Request, 0}})) << S.Name;
      ASSERT_TRUE(StreamText(H.Doc) == S.Body) << S.Name;
      Clean = H.Events;
    }
    // Aborted at or after its end, the request has ended already.
    const auto Idle = std::find(Clean.rbegin(), Clean.rend(), "State hsIdle");
    const int EndsAt = static_cast<int>(Clean.rend() - Idle);
    for (int At = 1; At <= static_cast<int>(Clean.size()); ++At) {
      for (const Handled::TAct Act : {Handled::actFree, Handled::actAbort, Handled::actRestart}) {
        const std::string Name = std::string(S.Name) + " at " + Clean[At - 1] + " (" + std::to_string(At) + ") " +
                                 (Act == Handled::actFree ? "free" : Act == Handled::actAbort ? "abort" : "restart");
        ++Runs;
        Handled H;
        H.At = At;
        H.Act = Act;
        H.Http->SetURL(S.Url);
        H.Http->StartRequest(S.Request);
        const std::pair<int, int> Ended{S.Request, At < EndsAt ? httperrAborted : 0};
        if (Act == Handled::actFree) {
          ASSERT_TRUE(PumpUntil([&] { return H.Http == nullptr; })) << Name;
          testsupport::DrainQueue();
          EXPECT_EQ(static_cast<int>(H.Events.size()), At) << Name;
          EXPECT_EQ(LiveSocketCount.load(), 0) << Name;
        } else if (Act == Handled::actAbort) {
          ASSERT_TRUE(PumpUntil([&] { return !H.Done.empty(); })) << Name;
          testsupport::DrainQueue();
          EXPECT_EQ(H.Done, (std::vector<std::pair<int, int>>{Ended})) << Name;
          EXPECT_EQ(H.Http->State(), hsIdle) << Name;
          // Nothing the aborted request still had in hand overwrites what the abort says.
          if (At < EndsAt) {
            EXPECT_EQ(std::to_string(H.Http->ResponseCode()) + " " + H.Http->ResponseText(),
                      "404 Connection aborted on request")
                << Name;
          }
        } else {
          ASSERT_TRUE(PumpUntil([&] { return H.Done.size() >= 2; })) << Name;
          testsupport::DrainQueue();
          EXPECT_EQ(H.Done, (std::vector<std::pair<int, int>>{Ended, {rqGet, 0}})) << Name;
          EXPECT_TRUE(StreamText(H.NewDoc) == Pattern(777)) << Name;
          EXPECT_EQ(H.Http->State(), hsIdle) << Name;
        }
      }
    }
  }
  std::printf("handler table: %d runs\n", Runs);
}

TEST(HttpCli, FreedFromItsOwnEvent) {
  // A handler may free the client that called it; nothing may touch it after.
  auto* Http = new THttpCli(nullptr);
  bool Freed = false;
  Http->OnDocBegin = [&Freed, Http](TObject*) {
    Freed = true;
    delete Http;  // the last thing this handler does: its captures go with it
  };
  Http->SetURL(PeerUrl("/s/ok/100"));
  Http->StartRequest(rqGet);
  ASSERT_TRUE(PumpUntil([&] { return Freed; }));
  PumpUntil([] { return false; }, 200);
}

}  // namespace
