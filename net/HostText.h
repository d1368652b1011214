// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Host and port texts as the socket layer reads them: names looked up,
// dotted numbers read as decimal, ports by number or service name.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

std::string ResolveHost(const std::string& name);
// The same; `shortage` tells whether an empty result came from the resolver
// running out of descriptors or memory rather than from the name.
std::string ResolveHost(const std::string& name, bool& shortage);
// Failures of a system call that come from the process or machine running short
// (descriptors, buffers, memory), not from anything the call was asked to do.
bool IsShortOfResources(int error);
std::int32_t PortFromText(const std::string& text);
std::int32_t IntFromText(std::string_view text);
sockaddr_in FillAddress(const std::string& host, std::int32_t port);
sockaddr_in FillAddress(const std::string& host, std::int32_t port, bool& shortage);
