#pragma once
// The composition root: starts and stops the whole library for a program.
#include <string>
#include <vector>

namespace duomat {

// The protocol's and framework's modules (korvan::InitializeModules), then
// every transport's registration. It stands above both floors so that
// neither needs the other. A second call registers nothing twice; false says
// a part did not start (see korvan::InitializeModules).
bool StartLibrary(const std::vector<std::string>& arguments = {});
// The reverse, in reverse order.
void StopLibrary();

}  // namespace duomat
