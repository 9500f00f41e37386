#pragma once

// Where a connection is in its life. A lookup goes out at once once the
// greeting is in ("SHOW DB" goes before it); before that the latest word
// is held, and on a closed connection a lookup first connects again.
enum class ConnectionState {
    Closed,  // never connected, connect failed, or the server closed or reset
    Connecting,  // connect under way, or connected and the greeting not yet in
    Listing,  // greeted; the database list is arriving
    Ready,  // the database list is in
};
