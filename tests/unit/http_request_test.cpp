// Request parsing, API target splitting and dispatch, on crafted requests.
#include <string.h>

#include <string>

#include "common/url_params.h"
#include "tests/unit/emulated_pvr.h"
#include "webserver/core/api_dispatch.h"
#include "webserver/core/request_parser.h"
#include "webserver/core/request_router.h"
#include "webserver/core/static_files.h"

namespace {

std::string gParserLog;
void CaptureParserLog(int level, const char *text) { gParserLog += std::to_string(level) + " " + text + "\n"; }

// Parses a request the way the server receives it: with 2048 zero bytes after it.
void Parse(const std::string &request, int authentication = 1, int cacheControl = 1, int loggingLevel = 0) {
  static std::string buffer;
  buffer.assign(request);
  buffer.append(2048, '\0');
  gParserLog.clear();
  RequestParserSettings settings = {authentication, cacheControl, loggingLevel, CaptureParserLog};
  NetParseRequest(&buffer[0], (int)request.size(), settings);
}

TEST(RequestLine, MethodAndTargetAreCutToTheirBuffers) {
  Parse("GET /index.html HTTP/1.1\r\n\r\n");
  EXPECT_STREQ(gHTTPmethod, "GET");
  EXPECT_STREQ(gHTTPpath, "/index.html");
  EXPECT_EQ(gHTTPpathCut, 0);
  Parse(std::string(40, 'M') + " /" + std::string(600, 'p') + " HTTP/1.1\r\n\r\n");
  EXPECT_EQ(std::string(gHTTPmethod), std::string(15, 'M'));
  EXPECT_EQ(std::string(gHTTPpath), "/" + std::string(510, 'p'));
  EXPECT_EQ(gHTTPpathCut, 1);   // handlers that change things refuse a cut target
  Parse("GET /" + std::string(510, 'p') + " HTTP/1.1\r\n\r\n");
  EXPECT_EQ(gHTTPpathCut, 0);   // 511 characters fit
  Parse("GET\r\nHost: x\r\n\r\n");   // no target at all
  EXPECT_STREQ(gHTTPmethod, "GET");
  EXPECT_STREQ(gHTTPpath, "");
  Parse("");
  EXPECT_STREQ(gHTTPmethod, "");
}

TEST(RequestHeaders, HostAndAuthorizationOnlyWithAuthentication) {
  const std::string request = "GET / HTTP/1.1\r\nHost: pvr.local:8000\r\nAuthorization: Basic dTpw extra\r\n\r\n";
  Parse(request, 0);
  EXPECT_STREQ(gHTTPhost, "");
  EXPECT_STREQ(gHTTPauthCredentials, "");
  Parse(request, 1);
  EXPECT_STREQ(gHTTPhost, "pvr.local:8000");
  EXPECT_STREQ(gHTTPauthorisation, " Basic dTpw extra");
  EXPECT_STREQ(gHTTPauthMode, "Basic");
  EXPECT_STREQ(gHTTPauthCredentials, "dTpw");
  // Names are matched case-sensitively; a header without a CR after it is not read.
  Parse("GET / HTTP/1.1\r\nhost: a\r\nauthorization: Basic x\r\n\r\n", 2);
  EXPECT_STREQ(gHTTPhost, "");
  EXPECT_STREQ(gHTTPauthMode, "");
  Parse("GET / HTTP/1.1\nHost: a\nAuthorization: Basic x", 2);
  EXPECT_STREQ(gHTTPhost, "");
  EXPECT_STREQ(gHTTPauthCredentials, "");
  Parse("GET / HTTP/1.1\r\nHost:\r\n\r\n", 2);   // too short to skip "Host: "
  EXPECT_STREQ(gHTTPhost, "");
}

TEST(RequestHeaders, LongValuesAreCut) {
  std::string huge(5000, 'h');
  Parse("GET / HTTP/1.1\r\nHost: " + huge + "\r\nAuthorization: " + huge + " " + huge + "\r\nIf-None-Match: " +
        huge + "\r\n\r\n");
  EXPECT_EQ(strlen(gHTTPhost), 511u);
  EXPECT_EQ(strlen(gHTTPauthorisation), 511u);
  EXPECT_EQ(strlen(gHTTPauthMode), 127u);
  EXPECT_EQ(strlen(gHTTPetag), 511u);
}

TEST(RequestHeaders, EntityTagOnlyWhenCachingIsOn) {
  Parse("GET / HTTP/1.1\r\nIf-None-Match: \"1-2-3-4\"\r\n\r\n", 1, 1);
  EXPECT_STREQ(gHTTPetag, "\"1-2-3-4\"");   // verbatim, quotes included
  Parse("GET / HTTP/1.1\r\nIf-None-Match: 1-2-3-4\r\n\r\n", 1, 2);
  EXPECT_STREQ(gHTTPetag, "");
}

TEST(RequestBody, PostFieldsFromThisRead) {
  Parse("POST /api?x HTTP/1.1\r\nContent-Length: 1234\r\n\r\nabc");
  ASSERT_NE(gHTTPpost.body, nullptr);
  EXPECT_EQ(std::string(gHTTPpost.body, 3), "abc");
  EXPECT_EQ(gHTTPpost.bodyBytes, 3);
  EXPECT_EQ(gHTTPpost.contentLength, 1234);   // even if fewer bytes arrived
  EXPECT_EQ(gHTTPpost.headerEndMissing, 0);

  Parse("POST / HTTP/1.1\r\nContent-Length: 5\r\n");
  EXPECT_EQ(gHTTPpost.headerEndMissing, 1);
  EXPECT_EQ(gHTTPpost.body, nullptr);
  EXPECT_EQ(gHTTPpost.bodyBytes, 0);

  Parse("POST / HTTP/1.1\r\n\r\nxy");
  EXPECT_EQ(gHTTPpost.contentLength, 0);
  EXPECT_EQ(gHTTPpost.bodyBytes, 2);

  EXPECT_EQ(gHTTPpost.contentLengthSet, 0);

  Parse("POST / HTTP/1.1\r\nContent-Length:   77\r\n\r\n");
  EXPECT_EQ(gHTTPpost.contentLength, 77);
  EXPECT_EQ(gHTTPpost.contentLengthSet, 1);
  Parse("POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(gHTTPpost.contentLengthSet, 1);
  Parse("POST / HTTP/1.1\r\nContent-Length: 2147483647\r\n\r\n");
  EXPECT_EQ(gHTTPpost.contentLength, 0x7FFFFFFF);
  // A value that is no length at all is not taken: an upload refuses the request.
  for (const char *value : {"99999999999999", "2147483648", "-5", "+5", "12abc", "", " ", "0x10", "1 2"}) {
    Parse(std::string("POST / HTTP/1.1\r\nContent-Length: ") + value + "\r\n\r\n");
    EXPECT_EQ(gHTTPpost.contentLengthSet, 0) << value;
    EXPECT_EQ(gHTTPpost.contentLength, 0) << value;
  }

  Parse("GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcde");   // only POST has a body
  EXPECT_EQ(gHTTPpost.body, nullptr);
  Parse("post / HTTP/1.1\r\n\r\nabcde");
  EXPECT_EQ(gHTTPpost.body, nullptr);
}

TEST(RequestLog, EntriesGoToTheGivenSinkUpToTheGivenLevel) {
  Parse("POST /x HTTP/1.1\r\nHost: h\r\n\r\n", 1, 1, 2);
  EXPECT_EQ(gParserLog,
            "2 NetReadCommand:\n2 Method: 'POST'.\n2 Path: '/x'.\n2 Host: 'h'.\n"
            "2 Warning: Content-Length not found.\n");
  Parse("POST /x HTTP/1.1\r\nContent-Length: 1", 0, 0, 1);
  EXPECT_EQ(gParserLog, "1 ERROR: HTTP Header end not found.\n");
  Parse("POST /x HTTP/1.1\r\nContent-Length: 1\r\n\r\n", 0, 0, 0);
  EXPECT_EQ(gParserLog, "");
  std::string target = "/" + std::string(600, 'p');
  Parse("GET " + target + " HTTP/1.1\r\n\r\n", 0, 0, 2);   // a whole target fits its entry
  EXPECT_NE(gParserLog.find("2 Path: '" + target.substr(0, 511) + "'.\n"), std::string::npos);
}

TEST(ApiTarget, DispatchWordsAndParameters) {
  APIWords words;
  SplitAPITarget("/api?function=config&action=get!", &words);
  EXPECT_STREQ(words.function, "config");
  EXPECT_STREQ(words.action, "get");
  EXPECT_STREQ(words.tap, "default");
  EXPECT_STREQ(words.params, "");

  SplitAPITarget("/api?function=x&module=1234&session=s%201&bogus=1&noequals&function=y!a=b!c", &words);
  EXPECT_STREQ(words.function, "y");        // a later pair wins
  EXPECT_STREQ(words.tap, "1234");          // module is a second name for tap
  EXPECT_STREQ(words.session, "s%201");     // no URL decoding
  EXPECT_STREQ(words.params, "a=b!c");      // everything after the first "!"

  SplitAPITarget("/api?function=config&action=get", &words);   // without "!": defaults
  EXPECT_STREQ(words.function, "");
  EXPECT_STREQ(words.tap, "default");

  std::string longValue = "/api?function=" + std::string(300, 'f') + "!";
  SplitAPITarget(longValue.c_str(), &words);
  EXPECT_EQ(strlen(words.function), 127u);
  SplitAPITarget("/api?=x&function=!p", &words);
  EXPECT_STREQ(words.function, "");
  EXPECT_STREQ(words.params, "p");
}

std::string gCalled;
void RecordGet(const char *params) { gCalled = std::string("get:") + params; }
void RecordStop(const char *params) { gCalled = std::string("stop:") + params; }

TEST(ApiDispatch, FunctionAndActionWordsChooseTheHandler) {
  static const char *const kFiles[] = {"files", "file", nullptr};
  static const char *const kGet[] = {"get", nullptr};
  static const char *const kStop[] = {"stop", "stopplay", nullptr};
  static const APIAction kFileActions[] = {{kGet, RecordGet, 1}, {kStop, RecordStop, 11}};
  static const char *const kTaps[] = {"tap", nullptr};
  static const APIAction kTapActions[] = {{kStop, RecordStop, 11}};
  static const APIFunction kTable[] = {{kFiles, 0, kFileActions, 2}, {kTaps, 13, kTapActions, 1}};

  APIWords words;
  SplitAPITarget("/api?function=file&action=stopplay!x=1", &words);
  gCalled.clear();
  EXPECT_EQ(DispatchAPI(kTable, 2, words), 0);
  EXPECT_EQ(gCalled, "stop:x=1");
  SplitAPITarget("/api?function=files&action=GET!", &words);   // action words are case-sensitive
  gCalled.clear();
  EXPECT_EQ(DispatchAPI(kTable, 2, words), 0);   // known function: no 404, but no handler
  EXPECT_EQ(gCalled, "");
  SplitAPITarget("/api?function=Files&action=get!", &words);
  EXPECT_EQ(DispatchAPI(kTable, 2, words), -1);

  gCommand.command = gCommand.action = 0;
  SplitAPITarget("/api?function=tap&action=nothing!", &words);
  EXPECT_EQ(DispatchAPI(kTable, 2, words), 0);
  EXPECT_EQ(gCommand.command, 13);   // the family is stored before the action is matched
  EXPECT_EQ(gCommand.action, 0);
  SplitAPITarget("/api?function=tap&action=stop!", &words);
  EXPECT_EQ(DispatchAPI(kTable, 2, words), 0);
  EXPECT_EQ(gCommand.action, 11);
}

TEST(StaticFiles, ContentTypesBySuffix) {
  EXPECT_STREQ(ContentTypeOf("a.png"), "image/png");
  EXPECT_STREQ(ContentTypeOf("a.jpe"), "image/jpeg");
  EXPECT_STREQ(ContentTypeOf("a.tiff"), "image/tiff");
  EXPECT_STREQ(ContentTypeOf("a.wmv"), "video/x-ms-wm");
  EXPECT_STREQ(ContentTypeOf("x/run.sh"), "text/plain");
  EXPECT_STREQ(ContentTypeOf("a.json"), "application/json");
  EXPECT_STREQ(ContentTypeOf("a.js"), "application/javascript");
  EXPECT_STREQ(ContentTypeOf("a.PNG"), "text/html");
  EXPECT_STREQ(ContentTypeOf("show.rec"), "text/html");
  EXPECT_STREQ(ContentTypeOf("README"), "text/html");
}

}  // namespace
