#include "runtime/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace mox {

namespace {
FatalHandler& handlerSlot() {
  static FatalHandler handler;
  return handler;
}
}  // namespace

std::string fatalMessage(std::string_view errorText, std::optional<int> errorCode) {
  std::string message = "运行时出错!\n\n";
  if (errorCode) message += "错误代码：" + std::to_string(*errorCode) + "\n\n";
  message += "错误信息：";
  message += errorText;
  message += "\n";
  return message;
}

void setFatalHandler(FatalHandler handler) { handlerSlot() = std::move(handler); }

void fatalError(std::string_view errorText, std::optional<int> errorCode) {
  std::string message = fatalMessage(errorText, errorCode);
  if (handlerSlot()) handlerSlot()(message);
  // Without a platform (or if its handler returned), still never carry on past a broken invariant.
  std::fputs(message.c_str(), stderr);
  std::_Exit(-1);
}

}  // namespace mox
