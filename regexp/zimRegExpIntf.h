// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The reference-counted face of TzimRegExp: NewRegExp hands out a matcher that
// frees itself with its last reference, and groups come as snapshots that do
// not follow later matches.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "regexp/zimRegExpObject.h"

class IRegExpGroup {
 public:
  virtual ~IRegExpGroup() = default;
  virtual std::int32_t StartPos() const = 0;
  virtual std::int32_t EndPos() const = 0;
  virtual const std::string& Text() const = 0;
};

class IRegExp {
 public:
  virtual ~IRegExp() = default;
  virtual std::string Pattern() const = 0;
  virtual void SetPattern(std::string_view pattern) = 0;
  // Sets the text, then MatchStart and MatchEnd (with their checks), then
  // searches from newMatchEnd.
  virtual bool MatchAgainst(std::string_view text, std::int32_t newMatchStart, std::int32_t newMatchEnd) = 0;
  virtual bool Match() = 0;
  virtual std::int32_t GroupCount() const = 0;
  // Null outside 0 .. GroupCount - 1.
  virtual std::shared_ptr<IRegExpGroup> GetGroup(std::int32_t index) const = 0;
  virtual bool GroupMatched(std::int32_t index) const = 0;
  virtual std::shared_ptr<IRegExpGroup> GetNamedGroup(const std::string& name) const = 0;
  virtual bool NamedGroupExists(const std::string& name) const = 0;
  virtual bool NamedGroupMatched(const std::string& name) const = 0;
  virtual std::int32_t GetGroupIndex(const std::string& name) const = 0;
};

class IPackageVersion {
 public:
  virtual ~IPackageVersion() = default;
  virtual TPackageVersion PackageVersion() const = 0;
};

class TzimRegExpGroup final : public IRegExpGroup {
 public:
  TzimRegExpGroup(std::int32_t startPos, std::int32_t endPos, std::string text)
      : startPos_(startPos), endPos_(endPos), text_(std::move(text)) {}
  std::int32_t StartPos() const override { return startPos_; }
  std::int32_t EndPos() const override { return endPos_; }
  const std::string& Text() const override { return text_; }

 private:
  std::int32_t startPos_;
  std::int32_t endPos_;
  std::string text_;
};

// Owns one TzimRegExp and forwards every call to it.
class TzimRegExpIntfWrapper final : public IRegExp, public IPackageVersion {
 public:
  // Writes the options, then the pattern (which compiles and may raise).
  TzimRegExpIntfWrapper(std::string_view pattern, TzimRegExpOptions options);

  std::string Pattern() const override { return regExp_.Pattern(); }
  void SetPattern(std::string_view pattern) override { regExp_.SetPattern(pattern); }
  bool MatchAgainst(std::string_view text, std::int32_t newMatchStart, std::int32_t newMatchEnd) override;
  bool Match() override { return regExp_.Match(); }
  std::int32_t GroupCount() const override { return regExp_.GroupCount(); }
  std::shared_ptr<IRegExpGroup> GetGroup(std::int32_t index) const override;
  bool GroupMatched(std::int32_t index) const override { return regExp_.GroupMatched(index); }
  std::shared_ptr<IRegExpGroup> GetNamedGroup(const std::string& name) const override;
  bool NamedGroupExists(const std::string& name) const override { return regExp_.NamedGroupExists(name); }
  bool NamedGroupMatched(const std::string& name) const override { return regExp_.NamedGroupMatched(name); }
  std::int32_t GetGroupIndex(const std::string& name) const override { return regExp_.GetGroupIndex(name); }
  TPackageVersion PackageVersion() const override { return regExp_.PackageVersion(); }

 private:
  TzimRegExp regExp_;
};

// A fresh matcher, compiled now; a pattern that does not compile raises
// EzimRegExp -10 and leaves nothing behind.
std::shared_ptr<IRegExp> NewRegExp(std::string_view pattern, TzimRegExpOptions options);
