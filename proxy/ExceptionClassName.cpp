#include "proxy/ExceptionClassName.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

std::string ExceptionClassName(const std::exception& error) {
  const char* mangled = typeid(error).name();
  int status = 0;
  // __cxa_demangle allocates with malloc.
  const std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                              &std::free);
  return (status == 0 && demangled) ? std::string(demangled.get()) : std::string(mangled);
}
