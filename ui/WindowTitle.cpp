#include "WindowTitle.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#ifdef ZEMBROMW_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace zemb::ui {

namespace {

#ifdef ZEMBROMW_HAVE_XCB

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  if (!reply) return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  std::free(reply);
  return atom;
}

void ClearX11Title(QWidget* window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !window->internalWinId()) return;
  xcb_connection_t* connection = x11->connection();
  if (!connection) return;
  static const xcb_atom_t netWmName = InternAtom(connection, "_NET_WM_NAME");
  static const xcb_atom_t utf8String = InternAtom(connection, "UTF8_STRING");
  const auto id = static_cast<xcb_window_t>(window->internalWinId());
  if (netWmName != XCB_ATOM_NONE && utf8String != XCB_ATOM_NONE) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netWmName, utf8String, 8, 0,
                        nullptr);
  }
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                      0, nullptr);
  xcb_flush(connection);
}

#else

void ClearX11Title(QWidget* /*window*/) {}

#endif

class EmptyTitleKeeper : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto type = event->type();
    if (type == QEvent::WindowTitleChange || type == QEvent::Show) {
      auto* window = static_cast<QWidget*>(watched);
      if (window->windowTitle().isEmpty()) ClearX11Title(window);
    }
    return false;
  }
};

}  // namespace

void KeepEmptyTitleEmpty(QWidget* window) {
  window->installEventFilter(new EmptyTitleKeeper(window));
}

}  // namespace zemb::ui
