// A file manager's folder window reduced to what a drop by X Direct Save needs: it
// takes drops (XdndAware), and on a drop names "<folder>/<suggested name>" back to the
// source, asks for the XdndDirectSave0 data and ends the drop. Prints "ready", then
// "suggested <name>" and "answer <reply>". Usage: xds_target <folder> <x> <y>.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::string Property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, bool remove) {
    Reply<xcb_get_property_reply_t> p(xcb_get_property_reply(
        c, xcb_get_property(c, remove ? 1 : 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr));
    if (!p)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(p.get())),
                       static_cast<size_t>(xcb_get_property_value_length(p.get())));
}

void Send(xcb_connection_t* c, xcb_window_t to, xcb_atom_t type, uint32_t d0, uint32_t d1, uint32_t d2,
          uint32_t d4) {
    xcb_client_message_event_t m{};
    m.response_type = XCB_CLIENT_MESSAGE;
    m.format = 32;
    m.window = to;
    m.type = type;
    m.data.data32[0] = d0;
    m.data.data32[1] = d1;
    m.data.data32[2] = d2;
    m.data.data32[4] = d4;
    char bytes[32];
    std::memcpy(bytes, &m, sizeof bytes);
    xcb_send_event(c, 0, to, XCB_EVENT_MASK_NO_EVENT, bytes);
    xcb_flush(c);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const std::string folder = argv[1];
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    const uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, static_cast<int16_t>(std::atoi(argv[2])),
                      static_cast<int16_t>(std::atoi(argv[3])), 200, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    const uint32_t version = 5;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, Atom(c, "XdndAware"), XCB_ATOM_ATOM, 32, 1, &version);
    xcb_map_window(c, w);
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);

    const xcb_atom_t enter = Atom(c, "XdndEnter"), position = Atom(c, "XdndPosition"),
                     drop = Atom(c, "XdndDrop"), status = Atom(c, "XdndStatus"),
                     finished = Atom(c, "XdndFinished"), copy = Atom(c, "XdndActionCopy"),
                     xds = Atom(c, "XdndDirectSave0"), selection = Atom(c, "XdndSelection"),
                     textPlain = Atom(c, "text/plain"), result = Atom(c, "MORBEK_XDS_RESULT");
    xcb_window_t source = 0;
    for (;;) {
        Reply<xcb_generic_event_t> e(xcb_wait_for_event(c));
        if (!e)
            return 1;
        const int type = e->response_type & 0x7f;
        if (type == XCB_CLIENT_MESSAGE) {
            const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e.get());
            if (m->type == enter) {
                source = m->data.data32[0];
            } else if (m->type == position) {
                Send(c, source, status, w, 1, 0, copy); // accepted, copy
            } else if (m->type == drop) {
                const std::string name = Property(c, source, xds, false);
                std::printf("suggested %s\n", name.c_str());
                std::fflush(stdout);
                std::string uri = "file://";
                for (char ch : folder + "/" + name) {
                    if (ch == ' ')
                        uri += "%20";
                    else
                        uri += ch;
                }
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, source, xds, textPlain, 8,
                                    static_cast<uint32_t>(uri.size()), uri.data());
                xcb_convert_selection(c, w, selection, xds, result, m->data.data32[2]);
                xcb_flush(c);
            }
        } else if (type == XCB_SELECTION_NOTIFY) {
            const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(e.get());
            const std::string answer = n->property ? Property(c, w, result, true) : std::string("none");
            std::printf("answer %s\n", answer.c_str());
            std::fflush(stdout);
            Send(c, source, finished, w, 1, copy, 0);
            break;
        }
    }
    xcb_disconnect(c);
    return 0;
}
