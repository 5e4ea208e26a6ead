// The calendar.
#pragma once

/// A day of the calendar.
struct CalendarDate {
  int year = 1970;  // e.g. 2026
  int month = 1;    // 1 to 12
  int day = 1;      // 1 to 31
};

/// Today in the local time zone.
CalendarDate LocalDate();
