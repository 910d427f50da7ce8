// A helper process for the channel tests: a sender, a load sender or a bare
// server, on a channel name of the test's own.
//   command_channel_peer send NAME TEXT       exit 0 when sent, else 10 + result
//   command_channel_peer load NAME ID COUNT   prints "number result" per text
//   command_channel_peer serve NAME           prints "ready", then each text
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command/ChannelTestSupport.h"
#include "command/CommandClient.h"
#include "command/LoadText.h"
#include "platform/Unicode.h"

using namespace talvinor;

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "send") == 0) {
    ChannelSendResult result = SendCommandText(Utf8ToWide(argv[3]), argv[2]);
    return result == ChannelSendResult::Sent ? 0 : 10 + static_cast<int>(result);
  }
  if (argc >= 5 && std::strcmp(argv[1], "load") == 0) {
    int sender = std::atoi(argv[3]);
    int count = std::atoi(argv[4]);
    for (int n = 0; n < count; ++n) {
      ChannelSendResult result = SendCommandText(testing::LoadText(sender, n), argv[2]);
      std::printf("%d %d\n", n, static_cast<int>(result));
    }
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "serve") == 0) {
    testing::ChannelReceiver receiver(argv[2]);
    if (!receiver.server->StartServer()) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
      auto text = receiver.NextText(kInfinite);
      if (!text) continue;
      std::printf("%s\n", WideToUtf8(*text).c_str());
      std::fflush(stdout);
    }
  }
  std::fprintf(stderr, "usage: command_channel_peer send NAME TEXT | load NAME ID COUNT | serve NAME\n");
  return 2;
}
