#pragma once

#include <string>
#include <vector>

namespace testing_double {

void RecordStep(const std::string& step);
std::vector<std::string> Steps();
void ClearSteps();

}  // namespace testing_double
