#include "search/websocket.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "tests/unit/skimlet/oracle.h"

namespace {

std::string Hex(const uint8_t *p, size_t n) {
  std::string out;
  char two[3];
  for (size_t i = 0; i < n; i++) {
    snprintf(two, sizeof two, "%02x", p[i]);
    out += two;
  }
  return out;
}

std::string Sha1Hex(const std::string &data) {
  uint8_t digest[SHA1_DIGEST_SIZE];
  sha1_digest(data.data(), data.size(), digest);
  return Hex(digest, sizeof digest);
}

TEST(Sha1, PublishedVectors) {
  EXPECT_EQ(Sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, PiecewiseUpdatesAgreeWithSha1sumAtEveryBlockBoundary) {
  // Lengths around the 55/56/64-byte padding edges, hashed in uneven pieces.
  for (size_t length : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 1000}) {
    std::string data;
    for (size_t i = 0; i < length; i++) data += (char)('A' + (i * 7) % 26);
    sha1_context context;
    sha1_init(&context);
    for (size_t at = 0; at < length; at += 13) sha1_update(&context, data.data() + at, length - at < 13 ? length - at : 13);
    uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_final(&context, digest);
    ASSERT_TRUE(RequireTool("sha1sum"));
    bool ok = false;
    std::string expected = Oracle("printf '%s' '" + data + "' | sha1sum", &ok);
    ASSERT_TRUE(ok) << "sha1sum failed";
    EXPECT_EQ(Hex(digest, sizeof digest), expected.substr(0, 40)) << length;
  }
}

TEST(WebSocketHandshake, SampleKeyGivesTheSampleAccept) {
  char accept[40];
  ws_accept_value("dGhlIHNhbXBsZSBub25jZQ==", accept, sizeof accept);
  EXPECT_STREQ(accept, "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

const char kHandshake[] =
    "GET /skimlet HTTP/1.1\r\nhost: pvr:8800\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "sec-websocket-key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: http://browser\r\nSec-WebSocket-Version: 13\r\n\r\n";

TEST(WebSocketHandshake, ReplyNamesOriginHostAndAccept) {
  char reply[WS_REPLY_SIZE];
  ASSERT_TRUE(ws_parse_header(kHandshake, sizeof kHandshake - 1, reply, sizeof reply));
  EXPECT_STREQ(reply,
               "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
               "WebSocket-Origin: http://browser\r\nWebSocket-Location: ws://pvr:8800/skimlet\r\n"
               "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
}

TEST(WebSocketHandshake, BinaryProtocolIsNamed) {
  std::string h = std::string(kHandshake, sizeof kHandshake - 3) + "Sec-WebSocket-Protocol: chat, binary\r\n\r\n";
  char reply[WS_REPLY_SIZE];
  ASSERT_TRUE(ws_parse_header(h.data(), h.size(), reply, sizeof reply));
  EXPECT_NE(strstr(reply, "\r\nSec-WebSocket-Protocol: binary\r\n\r\n"), nullptr);
}

TEST(WebSocketHandshake, RefusedRequests) {
  char reply[WS_REPLY_SIZE];
  auto refused = [&](std::string h) { return ws_parse_header(h.data(), h.size(), reply, sizeof reply) == 0; };
  std::string good = kHandshake;
  auto replace = [&](const std::string &from, const std::string &to) {
    std::string h = good;
    h.replace(h.find(from), from.size(), to);
    return h;
  };
  EXPECT_FALSE(refused(good));
  EXPECT_TRUE(refused(replace("Origin: http://browser\r\n", "")));
  EXPECT_TRUE(refused(replace("Origin: http://browser", "Origin: ")));   // a prefix without a value
  EXPECT_TRUE(refused(replace("Version: 13", "Version: 5")));
  EXPECT_FALSE(refused(replace("Version: 13", "Version: 6")));
  EXPECT_TRUE(refused(replace("GET /skimlet ", "GET /other ")));
  EXPECT_TRUE(refused(replace("HTTP/1.1", "HTTP/1.0")));
  EXPECT_FALSE(refused(replace("GET /skimlet ", "GET /razuziziz ")));
  EXPECT_FALSE(refused(replace("Origin:", "Sec-WebSocket-Origin:")));
  // a reply that does not fit is refused rather than cut
  EXPECT_EQ(ws_parse_header(good.data(), good.size(), reply, 40), 0);
}

TEST(WebSocketFrames, HeaderLengths) {
  uint8_t h[WS_MAX_HEADER];
  EXPECT_EQ(ws_create_frame_header(125, h, WS_OPCODE_TEXT, nullptr), 2u);
  EXPECT_EQ(Hex(h, 2), "817d");
  EXPECT_EQ(ws_create_frame_header(126, h, WS_OPCODE_TEXT, nullptr), 4u);
  EXPECT_EQ(Hex(h, 4), "817e007e");
  EXPECT_EQ(ws_create_frame_header(65535, h, WS_OPCODE_TEXT, nullptr), 4u);
  EXPECT_EQ(Hex(h, 4), "817effff");
  EXPECT_EQ(ws_create_frame_header(65536, h, WS_OPCODE_TEXT, nullptr), 10u);
  EXPECT_EQ(Hex(h, 10), "817f0000000000010000");
  const uint8_t key[4] = {0x37, 0xfa, 0x21, 0x3d};
  EXPECT_EQ(ws_create_frame_header(5, h, WS_OPCODE_BINARY, key), 6u);
  EXPECT_EQ(Hex(h, 6), "828537fa213d");
}

TEST(WebSocketFrames, DecodesTheMaskedSample) {
  // The masked "Hello" of RFC 6455 section 5.7, decoded in place.
  uint8_t frame[] = {0x81, 0x85, 0x37, 0xfa, 0x21, 0x3d, 0x7f, 0x9f, 0x4d, 0x51, 0x58, 0xAA};
  EXPECT_EQ(ws_decode_frame(frame, 11, frame, sizeof frame), 6u);
  EXPECT_STREQ((const char *)frame, "Hello");
}

TEST(WebSocketFrames, CloseNonFinalAndIncompleteFrames) {
  uint8_t close[] = {0x88, 0x02, 0x03, 0xe8, 0, 0};
  EXPECT_EQ(ws_decode_frame(close, 4, close, sizeof close), 4u);
  EXPECT_EQ(Hex(close, 4), "08000000");
  uint8_t fragment[] = {0x01, 0x01, 'a', 0};
  EXPECT_EQ(ws_decode_frame(fragment, 3, fragment, sizeof fragment), 0u);
  EXPECT_EQ(fragment[0], 0x01);   // left unchanged
  uint8_t text[] = {'S', 'e', 'a', 'r', 'c', 'h'};
  EXPECT_EQ(ws_decode_frame(text, sizeof text, text, sizeof text), 0u);
  // a header that claims more payload than is there is not read past its end
  uint8_t shortFrame[] = {0x81, 0x7e, 0x10, 0x00, 'x', 'y', 0};
  EXPECT_EQ(ws_decode_frame(shortFrame, 6, shortFrame, sizeof shortFrame), 0u);
  ws_frame f;
  EXPECT_EQ(ws_frame_complete(shortFrame, 6, &f), 0);
  uint8_t binary[] = {0x82, 0x03, 1, 2, 3};
  uint8_t out[8];
  EXPECT_EQ(ws_decode_frame(binary, sizeof binary, out, sizeof out), 3u);
  EXPECT_EQ(Hex(out, 3), "010203");
}

// A close frame without payload is two bytes: its four-byte replacement must fit the
// output, and a payload must fit with its terminator, or nothing is written.
TEST(WebSocketFrames, ResultsThatDoNotFitTheOutputAreRefused) {
  uint8_t close[3] = {0x88, 0x00, 0xAA};
  EXPECT_EQ(ws_decode_frame(close, 2, close, sizeof close), 0u);
  EXPECT_EQ(Hex(close, 3), "8800aa");
  uint8_t roomy[4] = {0x88, 0x00, 0xAA, 0xAA};
  EXPECT_EQ(ws_decode_frame(roomy, 2, roomy, sizeof roomy), 4u);
  EXPECT_EQ(Hex(roomy, 4), "08000000");
  uint8_t text[] = {0x81, 0x02, 'h', 'i'};
  uint8_t out[3] = {0xAA, 0xAA, 0xAA};
  EXPECT_EQ(ws_decode_frame(text, sizeof text, out, 2), 0u);
  EXPECT_EQ(Hex(out, 3), "aaaaaa");
  EXPECT_EQ(ws_decode_frame(text, sizeof text, out, 3), 3u);
  EXPECT_STREQ((const char *)out, "hi");
}

TEST(WebSocketFrames, LongLengthsRoundTrip) {
  for (size_t length : {0, 1, 125, 126, 127, 65535, 65536, 100000}) {
    std::vector<uint8_t> frame(WS_MAX_HEADER + length + 1);
    const uint8_t key[4] = {1, 2, 3, 4};
    size_t h = ws_create_frame_header(length, frame.data(), WS_OPCODE_TEXT, key);
    for (size_t i = 0; i < length; i++) frame[h + i] = (uint8_t)(('a' + i % 26) ^ key[i % 4]);
    ws_frame f;
    ASSERT_EQ(ws_frame_complete(frame.data(), h + length, &f), 1);
    EXPECT_EQ(f.payloadLength, length);
    EXPECT_EQ(ws_frame_complete(frame.data(), h + length - (length ? 1 : 0) - (length ? 0 : 1), &f), 0);
    std::vector<uint8_t> out(length + 1);
    ASSERT_EQ(ws_decode_frame(frame.data(), h + length, out.data(), out.size()), length + 1);
    for (size_t i = 0; i < length; i++) ASSERT_EQ(out[i], 'a' + i % 26);
    EXPECT_EQ(out[length], 0);
  }
}

}  // namespace
