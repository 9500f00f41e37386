#pragma once

// A blocking TCP socket connected to 127.0.0.1:port; -1 on failure.
int ConnectLoopback(int port);
