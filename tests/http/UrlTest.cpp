// URL splitting, base cutting, extension replacement, and the two pieces of
// a request header that are pure functions (Base64 and the date).
#include <gtest/gtest.h>

#include "http/HttpProt.h"
#include "http/HttpUrl.h"

namespace {

struct SplitCase {
  const char* Url;
  const char* Base;
  const char* Proto;
  const char* User;
  const char* Pass;
  const char* Host;
  const char* Port;
  const char* Path;
};

TEST(ParseURL, SplitsEveryFormIntoSixPieces) {
  const SplitCase Cases[] = {
      // URL, base, protocol, user, password, host, port, path
      {"http://u:p@h:8080/d/f?x=1", "", "http", "u", "p", "h", "8080", "/d/f?x=1"},
      {"http://h", "", "http", "", "", "h", "", ""},
      {"http://h?q", "", "http", "", "", "h", "", "?q"},
      {"h:81/x", "", "", "", "", "h", "81", "/x"},
      {"h", "", "", "", "", "h", "", ""},
      {"h:8080", "", "", "", "", "h", "8080", ""},
      {"u@h", "", "", "u", "", "h", "", ""},
      {"u@h:8080", "", "", "u", "", "h", "8080", ""},
      {"a:b@c:d@e", "", "", "a", "b@c:d", "e", "", ""},
      {"mailto:n@h", "", "mailto", "n", "", "h", "", ""},
      {"HTTP://H/X", "", "http", "", "", "H", "", "/X"},
      {"Http://H:1/X", "", "http", "", "", "H", "1", "/X"},
      {"//h/x", "", "http", "", "", "h", "", "/x"},
      {"/x/y", "", "http", "", "", "", "", "/x/y"},
      {"/", "", "http", "", "", "", "", ""},
      {"://h/x", "", "", "", "", "h", "", "/x"},
      {"http:/d/x", "", "http", "", "", "", "", "/d/x"},
      {"ftp+x.y-z://h/p", "", "ftp+x.y-z", "", "", "h", "", "/p"},
      {"ftp_x://h/p", "", "http", "", "", "ftp_x", "", "//h/p"},
      {"./d.htm", "/a/b/c.htm", "", "", "", "", "", "/a/b/d.htm"},
      {"../d.htm", "/a/b/c.htm", "", "", "", "", "", "/a/d.htm"},
      {"../../../d.htm", "/a/b/c.htm", "", "", "", "", "", "/d.htm"},
      {"./d.htm", "", "", "", "", "", "", "/d.htm"},
      // Our own: climbing above the root stays at the root; an empty or
      // scheme-only URL; a dotted host with credentials and a port; a query
      // holding "@" and ":" is path, not authority.
      {"../../../../../x", "/a/b", "", "", "", "", "", "/x"},
      {"", "/a/b", "", "", "", "", "", ""},
      {"http://", "", "http", "", "", "", "", ""},
      {"http://us:pw@127.0.0.1:8080/f.txt", "", "http", "us", "pw", "127.0.0.1", "8080", "/f.txt"},
      {"http://h/p?u=a@b:c", "", "http", "", "", "h", "", "/p?u=a@b:c"},
      {"http://h?u=a@b:c", "", "http", "", "", "h", "", "?u=a@b:c"},
      {"http://h/x#frag", "", "http", "", "", "h", "", "/x#frag"},
  };
  for (const SplitCase& C : Cases) {
    std::string Proto = "junk", User = "junk", Pass = "junk", Host = "junk", Port = "junk", Path = C.Base;
    ParseURL(C.Url, Proto, User, Pass, Host, Port, Path);
    EXPECT_EQ(Proto, C.Proto) << C.Url;
    EXPECT_EQ(User, C.User) << C.Url;
    EXPECT_EQ(Pass, C.Pass) << C.Url;
    EXPECT_EQ(Host, C.Host) << C.Url;
    EXPECT_EQ(Port, C.Port) << C.Url;
    EXPECT_EQ(Path, C.Path) << C.Url;
  }
}

TEST(UrlBase, CutsAfterTheLastSlashOrColonBeforeTheQuery) {
  const std::pair<const char*, const char*> Cases[] = {
      {"http://h/d/f.htm?a/b", "http://h/d/"},
      {"/f.htm", "/"},
      {"f.htm", ""},
      {"http:x", "http:"},
      {"", ""},
      {"/d/?x", "/d/"},
  };
  for (const auto& [Url, Want] : Cases) EXPECT_EQ(UrlBase(Url), Want) << Url;
}

TEST(ReplaceExt, ReplacesTheLastExtensionOrAddsOne) {
  const std::pair<const char*, const char*> Cases[] = {
      {"f.exe", "f.htm"}, {"f", "f.htm"}, {"a.b.exe", "a.b.htm"}, {"f.", "f.htm"}};
  for (const auto& [Name, Want] : Cases) {
    std::string N = Name;
    ReplaceExt(N, "htm");
    EXPECT_EQ(N, Want) << Name;
  }
}

TEST(RequestHeaderPieces, Base64AndTheDate) {
  const std::pair<const char*, const char*> Base64[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
      {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="}, {"\xff\xfe\xfd", "//79"}};
  for (const auto& [In, Out] : Base64) EXPECT_EQ(Base64Encode(In), Out) << In;

  EXPECT_EQ(RFC1123Date(EncodeDate(2026, 12, 8) + EncodeTime(9, 5, 3, 0)), "Tue, 08 Dec 2026 09:05:03");
  EXPECT_EQ(RFC1123Date(EncodeDate(1994, 11, 6) + EncodeTime(8, 49, 37, 0)), "Sun, 06 Nov 1994 08:49:37");
  EXPECT_EQ(RFC1123Date(EncodeDate(2000, 2, 29)), "Tue, 29 Feb 2000 00:00:00");
  // Rounded to the millisecond, the last instant of a day is the next one, weekday included.
  EXPECT_EQ(RFC1123Date(EncodeDate(2026, 12, 8) + 86399.9997 / 86400), "Wed, 09 Dec 2026 00:00:00");
  // Before the epoch of the date type the weekday must still come from the table.
  EXPECT_EQ(RFC1123Date(EncodeDate(1899, 12, 25)), "Mon, 25 Dec 1899 00:00:00");
}

}  // namespace
