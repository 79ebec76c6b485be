// The page's own texts in English.
export const en = {

  title: 'trekdump',
  intro: 'Tracks and settings of the GPS track logger\'s data file NVPIPE.DAT. ' +
    'Everything happens inside this page: the file is never sent anywhere.',
  steps: 'Connect the logger to this computer with its USB cable: it appears as a drive. ' +
    'Open NVPIPE.DAT from that drive, or drop it here. Keep a copy of the file before you ' +
    'change settings: it is often the only copy of your tracks.',
  chooser_description: 'Data file of the logger (NVPIPE.DAT)',
  open_label: 'Open a data file:',
  drop_hint: 'or drop it on this page.',
  download_gpx: 'Download GPX',
  unknown_heading: 'Unknown values',
  analyze: 'Check for unknown values',
  no_unknown_values: 'No unknown values found.',
  listing_heading: 'Device settings (as the device lists them)',
  tracks_heading: 'Tracks',
  download_track: 'Download this track',
  settings_heading: 'Change settings',
  settings_intro: 'Change what you need, then save. Only the fields you edit are ' +
    'passed to the tool; the others stay as they are in the file.',
  save: 'Save…',
  backup: 'Download a backup of the unchanged file',
  confirm_write: (name) => `Write the changes into ${name}`,
  confirm_download: 'Download the new NVPIPE.DAT',
  cancel: 'Cancel',
  unknown_choice: 'unknown value (unchanged)',
  summary: ['Points', 'Tracks', 'Push log points', 'First time', 'Last time'],
  drawing_label: (tracks, pushes) =>
    `Drawing of ${tracks} tracks, one colour each, and ${pushes} push log points (black).`,
  no_time: '–',
  decimal_point: '.',
  progress: {
    reading: (name) => `Opening ${name}: reading the file…`,
    exporting: (name) => `Preparing the GPX of ${name}…`,
    analyzing: (name) => `Checking ${name} for unknown values…`,
    checking: (name) => `Checking the changes to ${name}…`,
    writing: (name) => `Writing into ${name}…`,
    backing_up: (name) => `Reading ${name} for the backup…`,
    summary: (name) => `Opening ${name}: summing up its tracks…`,
    showing: (name) => `Opening ${name}: showing its tracks…`,
  },
  discard_question: (name) => `Discard the changes to ${name}?`,
  discard_detail: (other) => `The settings you changed have not been saved. Opening ${other} ` +
    'drops them.',
  discard: 'Discard the changes',
  keep_changes: 'Keep the changes',
  one_file_at_a_time: 'Drop one file at a time: several files were dropped, none was opened.',
  out_of_memory: (name, mb) => `${name} (${mb} MB) is too large for this page: ` +
    'the browser ran out of memory. Use the command-line tool for it.',
  gpx_too_large: (name, mb) => `The GPX document of ${name} would be ${mb} MB, more than ` +
    'this page can keep: use the command-line tool (trekdump --read=tracks.gpx NVPIPE.DAT).',
  failed: (what) => `Something went wrong: ${what}`,
  changes_intro: (name) => `These lines of the listing of ${name} change (before → after; the ` +
    'listing is the device\'s own, in German):',
  no_changes: (name) => `No line of the listing of ${name} changes; the tool still ` +
    'rewrites the configuration block as it always does.',
  backup_first: 'Download the backup first; then the changes can be written.',
  written: (name) => `Written into ${name} and read back: the file holds exactly the new ` +
    'data file.',
  write_failed: (name, what) => `Writing into ${name} failed: ${what}. The file may be ` +
    'damaged: copy the backup onto the device.',
  write_failed_kept: (name, what) => `Writing into ${name} failed: ${what}. ${name} is as it ` +
    'was: the page read it back and found it unchanged.',
  write_back_note: (name, size) => `Writing replaces ${name} in one step: the browser writes a ` +
    `complete new copy of it (${size}) beside it and then puts that in place of the old one, ` +
    'so the device needs free room for the copy. If the write fails, the old file stays.',
  file_size: (bytes) => (bytes < 1e6 ? `${Math.ceil(bytes / 1e3)} KB` : `${(bytes / 1e6).toFixed(1)} MB`),
  read_back_differs: 'the file read back differs from what was written',
  changed: (name) => `${name} was changed since it was opened: open it again before saving.`,
  changed_export: (name) => `${name} was changed since it was opened: open it again to ` +
    'export what it holds now.',
  backup_failed: (name, what) => `The backup of ${name} could not be made: ${what} ` +
    'Nothing can be written without it.',
  queued: (name) => `${name} will be opened when the write has finished.`,
  no_new_block: 'the tool did not write a configuration block',
  suspect: (name, findings) => `${name} does not look like the logger's data file: ` +
    `${findings.join('; ')}. Saving into it asks for a second confirmation.`,
  unknown_in_block: (lines) => `its configuration block holds values outside the known sets ` +
    `(${lines.join(', ')})`,
  no_point: 'its log holds no valid record',
  confirm_suspect: (name) => `Yes, write into ${name} although it does not look like a data file`,
  permission_denied: 'the browser did not allow writing',
  // What the browser's exceptions mean, by their names; its own text follows.
  browser_errors: {
    NotFoundError: 'the file is no longer where it was chosen: it was moved, renamed or removed',
    NotReadableError: 'the browser could not read the file',
    NotAllowedError: 'the browser did not allow it',
    SecurityError: 'the browser did not allow it',
    QuotaExceededError: 'there is not enough free room on the device for the browser\'s copy ' +
      'of the file',
    NoModificationAllowedError: 'the file cannot be written (read-only, or in use)',
    InvalidStateError: 'the file was changed or closed by something else meanwhile',
    AbortError: 'the browser stopped the work',
    other: 'the browser reported an error',
  },
  browser_said: (words, said) => `${words} (the browser said: "${said}")`,
  password_cut: (bytes, typed, kept, whole) => `The device keeps ${bytes} bytes: ${typed} is ` +
    `stored as ${kept}${whole ? '' : ', without the character that would not fit whole'}.`,
  password_char: (ch, count, shown) => `${ch} is stored as ` +
    `${['', 'one byte', 'two bytes', 'three bytes', 'four bytes'][count]} and shows as ${shown} ` +
    'on the device.',
  downloaded: 'The new data file was offered as a download. Your browser may have renamed ' +
    'it (for example to NVPIPE(1).DAT): the file on the device must be named NVPIPE.DAT. ' +
    'Copy it onto the device under that name, in place of the old one.',
  // Each setting's name on the page and one line on what it does.
  fields: {
    'set-system-unit': ['Units', 'Metric or imperial units on the logger\'s display.'],
    'set-device-zone': ['Time zone', 'Hours from UTC of the times the logger shows: 2, -5 or 5:30.'],
    'set-password': ['Password', 'The logger\'s password; empty for none.'],
    'set-contrast': ['Contrast', 'Contrast of the display: higher is darker.'],
    'set-backlight-time': ['Backlight', 'How long the display stays lit after a key is pressed.'],
    'set-shake-mode': ['Shake mode', 'On: the logger wakes up when it is moved.'],
    'set-shake-mode-time': ['Shake mode time', 'How long the logger waits without moving before it sleeps.'],
    'clear-memory': ['Clear memory at next start', 'Yes: the logger deletes all tracks when it starts next.'],
    'set-log-mode': ['Log mode', 'How often points are recorded: preset for walking, cycling or driving, or user-defined.'],
    'set-userdefined-log-mode': ['User-defined log mode', 'What the user-defined mode records by: time, distance, heading, speed, or all of them.'],
    'set-userdefined-time-interval': ['Time interval', 'A point every so many seconds.'],
    'set-userdefined-distance-interval': ['Distance interval', 'A point every so many metres.'],
    'set-userdefined-heading-change': ['Heading change', 'A point when the direction changes by this much.'],
    'set-userdefined-highest-speed': ['Highest speed', 'Above it the shortest interval applies.'],
    'set-userdefined-high-speed': ['High speed', 'Limit between middle and high speed.'],
    'set-userdefined-middle-speed': ['Middle speed', 'Limit between low and middle speed.'],
    'set-userdefined-low-speed': ['Low speed', 'Limit between lowest and low speed.'],
    'set-userdefined-lowest-speed': ['Lowest speed', 'Below it no point is recorded.'],
    'set-userdefined-highest-speed-interval': ['Interval, high to highest speed', 'Seconds between points at these speeds.'],
    'set-userdefined-high-speed-interval': ['Interval, middle to high speed', 'Seconds between points at these speeds.'],
    'set-userdefined-middle-speed-interval': ['Interval, low to middle speed', 'Seconds between points at these speeds.'],
    'set-userdefined-low-speed-interval': ['Interval, lowest to low speed', 'Seconds between points at these speeds.'],
    'set-gps-mode': ['GPS mode', 'The receiver\'s balance of accuracy, speed of the first fix and battery.'],
    'set-sbas': ['SBAS', 'Corrections from satellites such as EGNOS or WAAS, for better positions.'],
    'set-fix-mode': ['Fix mode', 'Positions from 3 satellites (2D), from 4 (3D), or either.'],
    'set-2d-fix-altitude': ['Altitude for 2D fixes', 'The altitude assumed when a position has no height of its own.'],
    'set-initial-min-svs': ['Initial minimum of satellites', 'Satellites (SVs) needed for the first position.'],
    'set-initial-min-strength': ['Initial minimum signal strength', 'Weaker satellites are not used for the first position.'],
    'set-navigation-min-strength': ['Navigation minimum signal strength', 'Weaker satellites are not used afterwards.'],
    'set-p-accuracy-mask': ['Position accuracy mask', 'Positions less accurate than this are not used.'],
    'set-t-accuracy-mask': ['Time accuracy mask', 'Positions whose time is less accurate than this are not used.'],
    'set-pdop-mask': ['PDOP mask', 'Positions with a higher dilution of precision (worse satellite geometry) are not used.'],
    'set-tdop-mask': ['TDOP mask', 'The same for the time\'s dilution of precision.'],
  },
  // The settings' groups, as the listing has them.
  setting_groups: { device: 'Device', log: 'Logging', gps: 'GPS' },
  // What a field takes, beside it and after a rejected value.
  unit_words: { s: 'seconds', min: 'minutes', m: 'metres', cm: 'centimetres', 'km/h': 'km/h',
    '°': 'degrees', dBHz: 'dBHz', h: 'hours' },
  field_range: (min, max, unit) => `${min} to ${max}${unit ? ` ${unit}` : ''}`,
  field_words: (words) => `${words.slice(0, -1).join(', ')} or ${words.at(-1)}`,
  field_zone: (range) => `${range}, as hours or hours:minutes`,
  field_bytes: (n) => `up to ${n} bytes`,
  field_takes: (label, what) => `${label}: ${what}`,
  map_label: 'Map of the tracks',
  map_keys: 'Wheel, + and − zoom; drag or the arrow keys move; 0 shows all tracks. ' +
    'Choose a track in the table to bring it into view.',
  zoom_in: 'Zoom in',
  zoom_out: 'Zoom out',
  zoom_fit: 'Show all tracks',
  zoom_all: 'All',
  legend_label: 'Legend',
  legend_track: (n) => `Track ${n}`,
  legend_more: (n) => `and ${n} more`,
  legend_start: 'Start',
  legend_end: 'End',
  legend_push: 'Push log point',
  push_marker: (n, track, time, zone) => `Push log point ${n}, track ${track}${time ? `, ${time} ${zone}` : ''}`,
  osm_link: (n) => `Show track ${n} on OpenStreetMap`,
  osm_note: 'Opens openstreetmap.org in a new tab: the place of the track is then sent ' +
    'there. Nothing else leaves this page.',
  profile_title: 'Profile: elevation and speed',
  profile_empty: 'Choose a track to see its elevation and speed along the way.',
  profile_heading: (n) => `Profile of track ${n}: elevation and speed`,
  profile_hint: 'Move along it with the mouse or the arrow keys (Page Up, Page Down, Home ' +
    'and End too): the place is marked on the map.',
  profile_elevation_unit: (unit) => `Elevation (${unit})`,
  profile_speed_unit: (unit) => `Speed (${unit})`,
  profile_x_legend: 'Profile against',
  profile_x_distance: 'distance',
  profile_x_time: 'time',
  profile_names: ['Time', 'Distance', 'Elevation', 'Speed'],
  profile_values: (v) => `${v.time} ${v.zone}, ${v.distance}, ${v.elevation}` +
    (v.speed === null ? '' : `, ${v.speed}`),
  track_columns: { number: 'Track', start: 'Start', end: 'End', seconds: 'Total',
    moving_s: 'Moving', paused_s: 'Paused', stops: 'Stops', distance_m: 'Distance',
    average_kmh: 'Average', max_kmh: 'Top', ascent_m: 'Ascent', descent_m: 'Descent',
    min_ele_m: 'Lowest', max_ele_m: 'Highest', count: 'Points', push_points: 'Push log points' },
  // The headings over the columns of each kind, which name its zone or unit.
  column_groups: { time: 'Time', duration: 'Duration', speed: 'Speed', height: 'Elevation' },
  column_head: (name, unit) => (unit ? `${name} (${unit})` : name),
  duration_unit: 'h:mm:ss',
  utc: 'UTC',
  overview_log: (tracks, from, to, distance) => `${tracks === 1 ? 'One track' : `${tracks} tracks`}` +
    `${from === to ? ` on ${from}` : ` from ${from} to ${to}`}, ${distance} in all.`,
  overview_empty: 'The log holds no track.',
  overview_device: (zone, units) => `The logger is set to ${zone} and ${units}.`,
  units_names: { metric: 'metric units', imperial: 'imperial units' },
  times_legend: 'Times in',
  times_device: (zone) => `${zone}, the logger's zone`,
  times_utc: 'UTC',
  units_legend: 'Units',
  units_metric: 'km, m, km/h',
  units_imperial: 'mi, ft, mph',
  language_label: 'Language',
  percent: (n) => `${n}%`,
};
