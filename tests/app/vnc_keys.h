// A keyboard for a real window program on Qt's VNC platform (QT_QPA_PLATFORM=vnc:port=N): the
// keys reach whichever window has focus, as a user's would, with no display server and no
// hook in the program. Speaks the RFB 3.3 handshake Qt's server offers, then key events only.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <thread>

namespace VncKey {
inline constexpr uint32_t Return = 0xff0d, Control = 0xffe3;
}

class TVncKeys {
 public:
  ~TVncKeys() { Close(); }

  // A port no one listens on now, for the program to take.
  static int FreePort() {
    const int Socket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in Address = Loopback(0);
    socklen_t Size = sizeof Address;
    bind(Socket, reinterpret_cast<sockaddr *>(&Address), Size);
    getsockname(Socket, reinterpret_cast<sockaddr *>(&Address), &Size);
    close(Socket);
    return ntohs(Address.sin_port);
  }

  // Connects once the program listens; false after Seconds or a handshake it does not offer.
  bool Connect(int Port, int Seconds = 60) {
    for (int Tries = 0; Tries < Seconds * 10; ++Tries) {
      Close();
      FSocket = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in Address = Loopback(Port);
      if (connect(FSocket, reinterpret_cast<sockaddr *>(&Address), sizeof Address) == 0)
        return Handshake();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // Presses the keys (X keysyms) together, then lets them go in reverse order.
  bool Press(std::initializer_list<uint32_t> Keys) {
    bool Sent = true;
    for (const uint32_t Key : Keys) Sent = Sent && SendKey(Key, true);
    for (auto Key = std::rbegin(Keys); Key != std::rend(Keys); ++Key)
      Sent = Sent && SendKey(*Key, false);
    return Sent;
  }

 private:
  static sockaddr_in Loopback(int Port) {
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_port = htons(static_cast<uint16_t>(Port));
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return Address;
  }

  bool Receive(unsigned char *Bytes, size_t Size) {
    return recv(FSocket, Bytes, Size, MSG_WAITALL) == static_cast<ssize_t>(Size);
  }

  bool Handshake() {
    unsigned char Bytes[24];
    // Version, then the security type (1: none), then ServerInit with the desktop's name.
    if (!Receive(Bytes, 12) || send(FSocket, "RFB 003.003\n", 12, MSG_NOSIGNAL) != 12) return false;
    if (!Receive(Bytes, 4) || Bytes[3] != 1 || send(FSocket, "\1", 1, MSG_NOSIGNAL) != 1)
      return false;
    if (!Receive(Bytes, 24)) return false;
    uint32_t NameSize = 0;
    for (int Index = 20; Index < 24; ++Index) NameSize = NameSize << 8 | Bytes[Index];
    for (unsigned char Byte; NameSize > 0; --NameSize)
      if (!Receive(&Byte, 1)) return false;
    return true;
  }

  bool SendKey(uint32_t Key, bool Down) {
    const unsigned char Event[8] = {4,
                                    static_cast<unsigned char>(Down),
                                    0,
                                    0,
                                    static_cast<unsigned char>(Key >> 24),
                                    static_cast<unsigned char>(Key >> 16),
                                    static_cast<unsigned char>(Key >> 8),
                                    static_cast<unsigned char>(Key)};
    return send(FSocket, Event, sizeof Event, MSG_NOSIGNAL) == sizeof Event;
  }

  void Close() {
    if (FSocket >= 0) close(FSocket);
    FSocket = -1;
  }

  int FSocket = -1;
};
