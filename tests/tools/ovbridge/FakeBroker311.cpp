// A broker that speaks MQTT 3.1.1 only, as older brokers do: it answers an MQTT 5 CONNECT with
// the 3.1.1 refusal "unacceptable protocol version" and closes; a 3.1.1 client it accepts, and
// acknowledges its subscriptions and QoS 1 messages. It listens on a loopback port the kernel
// chooses, prints that port on its first line, then one line per packet it takes
// ("CONNECT 5", "CONNECT 4", "SUBSCRIBE", "PUBLISH topic"). For ovbridge's protocol fallback.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool ReadAll(int fd, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& data) {
    return ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
}

// One packet: its first byte and its body.
bool ReadPacket(int fd, std::uint8_t& type, std::vector<std::uint8_t>& body) {
    if (!ReadAll(fd, &type, 1)) return false;
    std::size_t length = 0;
    for (int shift = 0; shift < 28; shift += 7) {
        std::uint8_t byte = 0;
        if (!ReadAll(fd, &byte, 1)) return false;
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) break;
    }
    body.resize(length);
    return length == 0 || ReadAll(fd, body.data(), length);
}

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void Serve(int fd) {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> body;
    // CONNECT: protocol name (2-byte length, "MQTT"), then the level.
    if (!ReadPacket(fd, type, body) || (type >> 4) != 1 || body.size() < 7) return;
    const int level = body[6];
    Say("CONNECT " + std::to_string(level));
    if (level != 4) {
        WriteAll(fd, {0x20, 0x02, 0x00, 0x01});
        return;
    }
    WriteAll(fd, {0x20, 0x02, 0x00, 0x00});
    while (ReadPacket(fd, type, body)) {
        switch (type >> 4) {
            case 3: {  // PUBLISH: topic, then the packet id at QoS 1
                if (body.size() < 2) return;
                const std::size_t topicLength = (body[0] << 8) | body[1];
                if (body.size() < 2 + topicLength) return;
                Say("PUBLISH " + std::string(body.begin() + 2, body.begin() + 2 + topicLength));
                if (((type >> 1) & 3) == 1 && body.size() >= 4 + topicLength) {
                    WriteAll(fd, {0x40, 0x02, body[2 + topicLength], body[3 + topicLength]});
                }
                break;
            }
            case 8:  // SUBSCRIBE: granted QoS 1 for its one filter
                Say("SUBSCRIBE");
                if (body.size() >= 2) WriteAll(fd, {0x90, 0x03, body[0], body[1], 0x01});
                break;
            case 12:  // PINGREQ
                WriteAll(fd, {0xD0, 0x00});
                break;
            case 14:  // DISCONNECT
                return;
            default:
                break;
        }
    }
}

}  // namespace

int main() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener, 8) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::perror("fake broker");
        return 1;
    }
    Say(std::to_string(ntohs(address.sin_port)));
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        Serve(client);
        ::close(client);
    }
}
