#pragma once

// The loopback port of the dictd the test fixture started, read from the
// file named by QUORLEX_DICTD_PORT_FILE; 0 when there is none.
int DictdPort();
