// The case folders of the whole-run tests: a model (or model.txt naming one
// in the source tree), the earlier outputs under existing/, and expected
// texts in which "@DIR@" stands for the run's directory.
#pragma once

#include <cctype>
#include <filesystem>
#include <optional>
#include <string>

#include "test_support.h"

namespace e2e_case {

namespace fs = std::filesystem;

inline const fs::path kE2eDir = fs::path(CDB2BEM_SOURCE_DIR) / "tests" / "e2e";

inline std::optional<std::string> ReadIfPresent(const fs::path& path) {
  if (!fs::exists(path)) return std::nullopt;
  return test_support::ReadFile(path);
}

/// `text` with "@DIR@" replaced by `work`.
inline std::string WithDirectory(std::string text, const fs::path& work) {
  for (std::size_t at; (at = text.find("@DIR@")) != std::string::npos;)
    text.replace(at, 5, work.string());
  return text;
}

/// The text of `file` (empty when absent), "@DIR@" replaced by `work`.
inline std::string ExpectedText(const fs::path& file, const fs::path& work) {
  return WithDirectory(ReadIfPresent(file).value_or(""), work);
}

/// Copies the model and the earlier input.dat and input.plt of `case_dir`
/// into `work`.
inline void PrepareCase(const fs::path& case_dir, const fs::path& work) {
  if (fs::exists(case_dir / "ANSYS_Model.cdb")) {
    fs::copy_file(case_dir / "ANSYS_Model.cdb", work / "ANSYS_Model.cdb");
  } else if (fs::exists(case_dir / "model.txt")) {
    std::string model = test_support::ReadFile(case_dir / "model.txt");
    while (!model.empty() && std::isspace(static_cast<unsigned char>(model.back())))
      model.pop_back();
    fs::copy_file(fs::path(CDB2BEM_SOURCE_DIR) / model, work / "ANSYS_Model.cdb");
  }
  for (const char* name : {"input.dat", "input.plt"}) {
    if (fs::exists(case_dir / "existing" / name))
      fs::copy_file(case_dir / "existing" / name, work / name);
  }
}

}  // namespace e2e_case
