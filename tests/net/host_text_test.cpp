// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Reading host and port text as the user types it into the fields or a proxy
// list holds it.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

#include "net/TcpSocket.h"

namespace {

TEST(IntFromText, ReadsDecimalWithSignAndLeadingSpaces) {
  EXPECT_EQ(IntFromText("7300"), 7300);
  EXPECT_EQ(IntFromText("   42"), 42);
  EXPECT_EQ(IntFromText("+17"), 17);
  EXPECT_EQ(IntFromText("-17"), -17);
  EXPECT_EQ(IntFromText("007"), 7);
}

TEST(IntFromText, ReadsHexadecimalAfterEachPrefix) {
  EXPECT_EQ(IntFromText("$50"), 80);
  EXPECT_EQ(IntFromText("x1F"), 31);
  EXPECT_EQ(IntFromText("X1f"), 31);
  EXPECT_EQ(IntFromText("0x1C84"), 7300);
  EXPECT_EQ(IntFromText("0XaB"), 171);
  EXPECT_EQ(IntFromText("-$10"), -16);
  EXPECT_EQ(IntFromText(" +0x10"), 16);
}

TEST(IntFromText, StopsAtTheFirstForeignCharacterAndDropsTheSign) {
  EXPECT_EQ(IntFromText("80abc"), 80);
  EXPECT_EQ(IntFromText("-5x"), 5);
  EXPECT_EQ(IntFromText("-12 "), 12);
  EXPECT_EQ(IntFromText("$1G"), 1);
  EXPECT_EQ(IntFromText("12.5"), 12);
  // A hex digit is foreign to a decimal number.
  EXPECT_EQ(IntFromText("12ab"), 12);
}

TEST(IntFromText, GivesZeroForTextWithoutDigits) {
  EXPECT_EQ(IntFromText(""), 0);
  EXPECT_EQ(IntFromText("abc"), 0);
  EXPECT_EQ(IntFromText("   "), 0);
  EXPECT_EQ(IntFromText("-"), 0);
  EXPECT_EQ(IntFromText("$"), 0);
  EXPECT_EQ(IntFromText("0x"), 0);
  EXPECT_EQ(IntFromText("\t5"), 0);  // only the space character is skipped
  EXPECT_EQ(IntFromText("--5"), 0);
}

TEST(IntFromText, KeepsTheLow32BitsOfLargeNumbers) {
  EXPECT_EQ(IntFromText("2147483647"), INT_MAX);
  EXPECT_EQ(IntFromText("-2147483648"), INT_MIN);
  EXPECT_EQ(IntFromText("4294967296"), 0);
  EXPECT_EQ(IntFromText("4294967297"), 1);
  EXPECT_EQ(IntFromText("$FFFFFFFF"), -1);
  // 10^26 - 1 modulo 2^32, read as signed.
  EXPECT_EQ(IntFromText("99999999999999999999999999"), -469762049);
}

TEST(PortFromText, ReadsServiceNamesAndFallsBackToNumbers) {
  EXPECT_EQ(PortFromText("http"), 80);
  EXPECT_EQ(PortFromText("https"), 443);
  EXPECT_EQ(PortFromText(""), 0);
  EXPECT_EQ(PortFromText("8080"), 8080);
  EXPECT_EQ(PortFromText("$1F90"), 8080);
  EXPECT_EQ(PortFromText("-1"), -1);
  EXPECT_EQ(PortFromText("no-such-service"), 0);
}

TEST(ResolveHost, HandlesEmptyAndDottedText) {
  EXPECT_EQ(ResolveHost(""), "0.0.0.0");
  EXPECT_EQ(ResolveHost("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(ResolveHost("10.20.30.40"), "10.20.30.40");
  // Any text inet_addr accepts comes back as given, not normalised.
  EXPECT_EQ(ResolveHost("127.1"), "127.1");
  EXPECT_EQ(ResolveHost("0x7f.0.0.1"), "0x7f.0.0.1");
}

TEST(ResolveHost, RefusesTheAllOnesAddressAndNamesThatStartWithADigit) {
  EXPECT_EQ(ResolveHost("255.255.255.255"), "");
  EXPECT_EQ(ResolveHost("1abc"), "");
  EXPECT_EQ(ResolveHost("3com.example"), "");
  EXPECT_EQ(ResolveHost("256.1.1.1"), "");
}

// Lists scraped from web pages pad their numbers; inet_addr would read the
// padded numbers as octal and reach another host.
TEST(ResolveHost, ReadsZeroPaddedDottedNumbersAsDecimal) {
  EXPECT_EQ(ResolveHost("045.077.012.034"), "45.77.12.34");
  EXPECT_EQ(ResolveHost("192.168.001.010"), "192.168.1.10");
  EXPECT_EQ(ResolveHost("255.255.255.0255"), "");
  EXPECT_EQ(ResolveHost("1.2.3.0256"), "");

  std::uint16_t port = 0;
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(0x7f00000a);  // 127.0.0.10
  socklen_t length = sizeof at;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length), 0);
  port = ntohs(at.sin_port);
  const OwnedSocket reached(TcpConnect("127.000.000.010", port));
  EXPECT_TRUE(reached) << "127.000.000.010 went elsewhere (octal 010 is 8)";
  ::close(listener);
}

TEST(ResolveHost, LooksUpNamesAsIPv4) {
  EXPECT_EQ(ResolveHost("localhost"), "127.0.0.1");
}

TEST(TcpConnect, RefusesHostsThatDoNotResolveWithoutAConnect) {
  EXPECT_EQ(TcpConnect("1abc", 80), NoSocket);
  EXPECT_EQ(TcpConnect("255.255.255.255", 80), NoSocket);
}

TEST(FillAddress, PutsTheLow16BitsOfThePortOnTheWire) {
  EXPECT_EQ(FillAddress("127.0.0.1", 7300).sin_port, htons(7300));
  EXPECT_EQ(FillAddress("127.0.0.1", 65536 + 80).sin_port, htons(80));
  EXPECT_EQ(FillAddress("127.0.0.1", -1).sin_port, htons(65535));
  EXPECT_EQ(FillAddress("127.0.0.1", INT_MIN).sin_port, htons(0));
}

TEST(FillAddress, FillsFamilyAndAddressInNetworkOrder) {
  const sockaddr_in loopback = FillAddress("localhost", 1);
  EXPECT_EQ(loopback.sin_family, AF_INET);
  EXPECT_EQ(loopback.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(FillAddress("", 1).sin_addr.s_addr, htonl(INADDR_ANY));
  EXPECT_EQ(FillAddress("1.2.3.4", 1).sin_addr.s_addr, htonl(0x01020304));
  EXPECT_EQ(FillAddress("1abc", 1).sin_addr.s_addr, INADDR_NONE);
}

}  // namespace
