// Validates GPX documents against the official GPX 1.1 schema with xmllint.
#pragma once

#include <string>

// Adds a test failure with xmllint's complaint when the GPX document in file
// path does not validate. Where the schema is missing, the test is marked
// skipped with a one-line reason (its other checks still count).
void expect_valid_gpx_file(const std::string& path);

// The same for a document held in memory.
void expect_valid_gpx(const std::string& document);

// For a document whose data lie outside the ranges GPX allows (coordinates
// beyond the earth's, impossible dates): the schema must reject it.
void expect_invalid_gpx(const std::string& document);
