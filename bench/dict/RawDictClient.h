#pragma once

#include <string>

// The floor for a definition request: a blocking socket that sends the
// command, asks for an immediate acknowledgement, and reads to the final
// status line with nothing else done to the reply.
class RawDictClient {
public:
    RawDictClient() = default;
    ~RawDictClient();
    RawDictClient(const RawDictClient&) = delete;
    RawDictClient& operator=(const RawDictClient&) = delete;

    // Connects to 127.0.0.1 and reads the greeting; false on failure.
    bool Connect(int port);
    // Nanoseconds from sending the command to its final status line;
    // negative when the connection failed.
    long long TimeDefine(const std::string& word);

private:
    // The next line without its line end; false at end of stream.
    bool ReadLine(std::string& line);
    bool ReadToFinalStatus();

    int m_nSocket = -1;
    std::string m_strBuffer;
    std::size_t m_nStart = 0;
};
