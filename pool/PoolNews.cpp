// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/PoolNews.h"

#include <algorithm>

namespace {

std::string Counted(std::size_t count, const char* one, const char* many) {
  return count == 1 ? std::string("1 ") + one : std::to_string(count) + " " + many;
}

}  // namespace

void PoolNews::Hear(const PoolChange& change) {
  switch (change.kind) {
    case PoolChange::Kind::Replacing:
      if (change.list == ProxyListId::All) countBefore_ = pool_.Count(ProxyListId::All);
      break;
    case PoolChange::Kind::Replaced:
      if (change.list != ProxyListId::All) break;
      // An import only adds; its changes are made one after another, never
      // between a verdict's.
      {
        const std::size_t now = pool_.Count(ProxyListId::All);
        imported_ = true;
        importedCount_ += now - std::min(countBefore_, now);
      }
      break;
    case PoolChange::Kind::Inserted:
      if (change.list == ProxyListId::All) break;
      {
        Judged& judged = change.list == ProxyListId::Failed ? failed_ : working_;
        ++judged.count;
        judged.last = change.text;
      }
      break;
    case PoolChange::Kind::Removed:
    case PoolChange::Kind::FieldText:
      break;
  }
}

std::string PoolNews::Take() {
  if (Empty()) return {};
  std::string said;
  const auto sentence = [&said](const std::string& text) {
    if (!said.empty()) said += ' ';
    said += text + '.';
  };
  if (imported_) {
    sentence(importedCount_ == 0 ? std::string("No new proxies imported")
                                 : Counted(importedCount_, "proxy", "proxies") + " imported");
  }
  if (failed_.count == 1) sentence("Proxy " + failed_.last + " failed");
  if (failed_.count > 1) sentence(std::to_string(failed_.count) + " proxies failed");
  if (working_.count == 1) sentence("Proxy " + working_.last + " works");
  if (working_.count > 1) sentence(std::to_string(working_.count) + " proxies work");
  // What follows an import or a failure: the upstream every new connection takes.
  if (imported_ || failed_.count > 0) {
    const Upstream upstream = pool_.CurrentUpstream();
    sentence(upstream.host.empty() ? std::string("No upstream")
                                   : "Upstream now " + upstream.host + ':' + std::to_string(upstream.port));
  }
  imported_ = false;
  importedCount_ = 0;
  failed_ = {};
  working_ = {};
  return said;
}
