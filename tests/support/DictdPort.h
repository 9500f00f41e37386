#pragma once

// The loopback port of a dictd the test fixtures started, read from the
// file named by the environment variable; 0 when there is none.
int DictdPort(const char* variable = "QUORLEX_DICTD_PORT_FILE");
