#include "X11Activation.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {
// A longer id is not used: window managers read startup messages of a few
// KiB, and a property too long for one request closes the connection.
constexpr qsizetype MaxStartupIdBytes = 4096;
// The request comes from an application, not from a pager.
constexpr uint32_t SourceApplication = 1;
constexpr qsizetype MessagePieceBytes = 20;
constexpr char TimeMark[] = "_TIME";

enum AtomIndex { StartupIdAtom, Utf8StringAtom, ActiveWindowAtom, StartupInfoBeginAtom, StartupInfoAtom, AtomCount };
constexpr std::array<const char*, AtomCount> AtomNames = {"_NET_STARTUP_ID", "UTF8_STRING", "_NET_ACTIVE_WINDOW",
                                                          "_NET_STARTUP_INFO_BEGIN", "_NET_STARTUP_INFO"};
using Atoms = std::array<xcb_atom_t, AtomCount>;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

// All asked for before any answer is awaited: one round trip.
Atoms InternAtoms(xcb_connection_t* connection)
{
    std::array<xcb_intern_atom_cookie_t, AtomCount> cookies{};
    for (size_t i = 0; i < AtomCount; ++i)
        cookies[i] = xcb_intern_atom(connection, 0, std::strlen(AtomNames[i]), AtomNames[i]);
    Atoms atoms{};
    for (size_t i = 0; i < AtomCount; ++i)
        if (const ReplyPtr<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(connection, cookies[i], nullptr)})
            atoms[i] = reply->atom;
    return atoms;
}

xcb_window_t RootOf(xcb_connection_t* connection, xcb_window_t window)
{
    const ReplyPtr<xcb_query_tree_reply_t> tree{
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr)};
    return tree ? tree->root : xcb_window_t(XCB_WINDOW_NONE);
}

// The launcher's server time follows "_TIME" in the id.
xcb_timestamp_t LaunchTime(const QByteArray& startupId)
{
    const qsizetype mark = startupId.lastIndexOf(TimeMark);
    if (mark < 0)
        return XCB_CURRENT_TIME;
    const char* digits = startupId.constData() + mark + qsizetype(sizeof TimeMark - 1);
    xcb_timestamp_t time = XCB_CURRENT_TIME;
    const auto [end, error] = std::from_chars(digits, startupId.constData() + startupId.size(), time);
    return error == std::errc() ? time : XCB_CURRENT_TIME;
}

// A quoted value, in which only quotes and backslashes are escaped.
QByteArray RemoveMessage(const QByteArray& startupId)
{
    QByteArray quoted;
    for (const char c : startupId) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return "remove: ID=\"" + quoted + '"';
}

// A text for the desktop's launch feedback, in pieces of client messages
// that the window named in them ties together; its NUL ends it.
void Broadcast(xcb_connection_t* connection, xcb_window_t root, const Atoms& atoms, const QByteArray& text)
{
    const xcb_window_t sender = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, sender, root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const QByteArray bytes = text + '\0';
    for (qsizetype at = 0; at < bytes.size(); at += MessagePieceBytes) {
        xcb_client_message_event_t piece{};
        piece.response_type = XCB_CLIENT_MESSAGE;
        piece.format = 8;
        piece.window = sender;
        piece.type = atoms[at == 0 ? StartupInfoBeginAtom : StartupInfoAtom];
        std::memcpy(piece.data.data8, bytes.constData() + at, std::min(MessagePieceBytes, bytes.size() - at));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&piece));
    }
    xcb_destroy_window(connection, sender);
}
}  // namespace

void ActivateForLaunch(QWidget* window, const QByteArray& startupId)
{
    const auto* x11 = QGuiApplication::platformName() == u"xcb"
        ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
        : nullptr;
    if (!x11 || startupId.isEmpty() || startupId.size() > MaxStartupIdBytes)
        return;
    xcb_connection_t* connection = x11->connection();
    const auto id = xcb_window_t(window->winId());
    const Atoms atoms = InternAtoms(connection);
    const xcb_window_t root = RootOf(connection, id);
    // The manager matches the window to its launch by this property.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atoms[StartupIdAtom], atoms[Utf8StringAtom], 8,
                        startupId.size(), startupId.constData());
    xcb_client_message_event_t activate{};
    activate.response_type = XCB_CLIENT_MESSAGE;
    activate.format = 32;
    activate.window = id;
    activate.type = atoms[ActiveWindowAtom];
    activate.data.data32[0] = SourceApplication;
    activate.data.data32[1] = LaunchTime(startupId);
    const QWindow* focused = QGuiApplication::focusWindow();
    activate.data.data32[2] = focused ? xcb_window_t(focused->winId()) : xcb_window_t(XCB_WINDOW_NONE);
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&activate));
    Broadcast(connection, root, atoms, RemoveMessage(startupId));
    xcb_flush(connection);
}
