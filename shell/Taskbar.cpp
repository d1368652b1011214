// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/Taskbar.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// Adds `wanted` to the window's state list or takes it out, keeping the rest.
void SetStateOnWindow(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t state, xcb_atom_t wanted,
                      bool on) {
  const xcb_get_property_cookie_t cookie =
      xcb_get_property(connection, 0, window, state, XCB_ATOM_ATOM, 0, 64);
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection, cookie, nullptr), &std::free);
  std::vector<xcb_atom_t> atoms;
  if (reply && reply->format == 32) {
    const auto* held = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    atoms.assign(held, held + xcb_get_property_value_length(reply.get()) / 4);
  }
  const bool has = std::find(atoms.begin(), atoms.end(), wanted) != atoms.end();
  if (has == on) return;
  if (on) {
    atoms.push_back(wanted);
  } else {
    atoms.erase(std::remove(atoms.begin(), atoms.end(), wanted), atoms.end());
  }
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                      static_cast<std::uint32_t>(atoms.size()), atoms.data());
}

}  // namespace

void KeepOffTaskbar(QWidget* window, bool mapped, bool off) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return;
  xcb_connection_t* connection = x11->connection();
  const auto id = static_cast<xcb_window_t>(window->winId());
  const xcb_atom_t state = Atom(connection, "_NET_WM_STATE");
  const xcb_atom_t skip = Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
  if (state == XCB_ATOM_NONE || skip == XCB_ATOM_NONE) return;

  if (!mapped) {
    SetStateOnWindow(connection, id, state, skip, off);
  } else {
    xcb_client_message_event_t message;
    std::memset(&message, 0, sizeof message);
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = state;
    message.data.data32[0] = off ? 1 : 0;  // _NET_WM_STATE_ADD or _REMOVE
    message.data.data32[1] = skip;
    message.data.data32[3] = 1;  // from a normal application
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
  }
  xcb_flush(connection);
}
