// The judgement of a proxy by the life of one connection through it, and the
// moves among the three lists that follow from it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

class ProxyPool;

inline constexpr std::chrono::milliseconds kRelayDeadline{30'000};
inline constexpr std::chrono::milliseconds kVerdictTolerance{1};

// Working once the connection has outlived the deadline by the tolerance;
// a life of exactly the deadline is still a failure.
bool IsWorkingLife(std::chrono::steady_clock::duration life);

// host ":" port, the port in plain decimal ("-" when negative, no leading zeros).
std::string ProxyEntryOf(std::string_view host, std::int32_t port);

// Working: out of lstFailed and lstWorking, then into lstWorking; lstAll is
// left alone. Failed: out of lstAll, lstWorking and lstFailed, into lstFailed,
// then a random upstream from what is left in lstAll. Each step is its own
// pool operation; an EListError from the addition ends the verdict there.
void ApplyVerdict(ProxyPool& pool, std::string_view entry, bool working);
