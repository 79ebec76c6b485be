// Validates GPX documents against the official GPX 1.1 schema with xmllint.
#pragma once

#include <string>

// Whether the schema file named by the GPX_SCHEMA cache variable is there.
// Where it is not (a clone of the project alone), the checks below do nothing
// and the one test in gpx_schema_test.cc reports itself skipped.
bool gpx_schema_available();
const char* gpx_schema_path();

// Adds a test failure with xmllint's complaint when the GPX document in file
// path does not validate.
void expect_valid_gpx_file(const std::string& path);

// The same for a document held in memory.
void expect_valid_gpx(const std::string& document);

// For a document whose data lie outside the ranges GPX allows (coordinates
// beyond the earth's, impossible dates): the schema must reject it.
void expect_invalid_gpx(const std::string& document);
