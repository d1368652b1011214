// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "net/SizedThread.h"


#include <cerrno>
#include <exception>
#include <system_error>

SizedThread::~SizedThread() {
  if (joinable_) std::terminate();
}

SizedThread& SizedThread::operator=(SizedThread&& other) noexcept {
  if (joinable_) std::terminate();
  id_ = other.id_;
  joinable_ = std::exchange(other.joinable_, false);
  return *this;
}

void SizedThread::Start(std::size_t stackBytes, void* (*entry)(void*), void* argument) {
  pthread_attr_t attributes;
  int error = ::pthread_attr_init(&attributes);
  if (error == 0) {
    error = ::pthread_attr_setstacksize(&attributes, stackBytes);
    if (error == 0) error = ::pthread_create(&id_, &attributes, entry, argument);
    ::pthread_attr_destroy(&attributes);
  }
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_create");
  joinable_ = true;
}

void SizedThread::Join() {
  if (!joinable_) throw std::system_error(EINVAL, std::generic_category(), "pthread_join");
  ::pthread_join(id_, nullptr);
  joinable_ = false;
}

void SizedThread::Detach() {
  if (!joinable_) throw std::system_error(EINVAL, std::generic_category(), "pthread_detach");
  ::pthread_detach(id_);
  joinable_ = false;
}
