// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "net/SizedThread.h"

#include <pthread.h>

#include <system_error>

void sized_thread::Start(std::size_t stackBytes, void* (*entry)(void*), void* argument) {
  pthread_attr_t attributes;
  int error = ::pthread_attr_init(&attributes);
  if (error == 0) {
    error = ::pthread_attr_setstacksize(&attributes, stackBytes);
    if (error == 0) error = ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    if (error == 0) error = ::pthread_create(&id, &attributes, entry, argument);
    ::pthread_attr_destroy(&attributes);
  }
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_create");
}
