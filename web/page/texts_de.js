// The page's own texts in German: the same keys as the English ones.
export const de = {
  title: 'trekdump',
  intro: 'Tracks und Einstellungen der Datendatei NVPIPE.DAT des GPS-Loggers. ' +
    'Alles geschieht in dieser Seite: die Datei wird nirgendwohin gesendet.',
  steps: 'Verbinden Sie den Logger mit seinem USB-Kabel mit diesem Computer: er erscheint als ' +
    'Laufwerk. Öffnen Sie NVPIPE.DAT von diesem Laufwerk oder ziehen Sie die Datei hierher. ' +
    'Bewahren Sie eine Kopie auf, bevor Sie Einstellungen ändern: oft ist sie die einzige ' +
    'Kopie Ihrer Tracks.',
  chooser_description: 'Datendatei des Loggers (NVPIPE.DAT)',
  open_label: 'Datendatei öffnen:',
  drop_hint: 'oder auf diese Seite ziehen.',
  download_gpx: 'GPX herunterladen',
  unknown_heading: 'Unbekannte Werte',
  analyze: 'Nach unbekannten Werten suchen',
  no_unknown_values: 'Keine unbekannten Werte gefunden.',
  listing_heading: 'Geräteeinstellungen (wie das Gerät sie auflistet)',
  tracks_heading: 'Tracks',
  download_track: 'Diesen Track herunterladen',
  settings_heading: 'Einstellungen ändern',
  settings_intro: 'Ändern Sie, was Sie brauchen, und speichern Sie dann. Nur die Felder, die ' +
    'Sie bearbeiten, gehen an das Werkzeug; die anderen bleiben, wie sie in der Datei stehen.',
  save: 'Speichern…',
  backup: 'Sicherungskopie der unveränderten Datei herunterladen',
  confirm_write: (name) => `Die Änderungen in ${name} schreiben`,
  confirm_download: 'Die neue NVPIPE.DAT herunterladen',
  cancel: 'Abbrechen',
  unknown_choice: 'unbekannter Wert (unverändert)',
  summary: ['Punkte', 'Tracks', 'Push-Log-Punkte', 'Erste Zeit', 'Letzte Zeit'],
  drawing_label: (tracks, pushes) =>
    `Zeichnung von ${tracks} Tracks, jeder in eigener Farbe, und ${pushes} Push-Log-Punkten (schwarz).`,
  no_time: '–',
  decimal_point: ',',
  progress: {
    reading: (name) => `${name} wird geöffnet: die Datei wird gelesen…`,
    exporting: (name) => `Das GPX von ${name} wird erstellt…`,
    analyzing: (name) => `${name} wird nach unbekannten Werten durchsucht…`,
    checking: (name) => `Die Änderungen an ${name} werden geprüft…`,
    writing: (name) => `${name} wird geschrieben…`,
    backing_up: (name) => `${name} wird für die Sicherungskopie gelesen…`,
    summary: (name) => `${name} wird geöffnet: die Tracks werden zusammengefasst…`,
    showing: (name) => `${name} wird geöffnet: die Tracks werden angezeigt…`,
  },
  discard_question: (name) => `Die Änderungen an ${name} verwerfen?`,
  discard_detail: (other) => `Die geänderten Einstellungen sind nicht gespeichert. Wenn Sie ` +
    `${other} öffnen, gehen sie verloren.`,
  discard: 'Änderungen verwerfen',
  keep_changes: 'Änderungen behalten',
  one_file_at_a_time: 'Ziehen Sie nur eine Datei auf einmal hierher: es waren mehrere, keine ' +
    'wurde geöffnet.',
  out_of_memory: (name, mb) => `${name} (${mb} MB) ist zu groß für diese Seite: dem Browser ` +
    'ging der Speicher aus. Nehmen Sie dafür das Kommandozeilenwerkzeug.',
  gpx_too_large: (name, mb) => `Das GPX-Dokument von ${name} wäre ${mb} MB groß, mehr als ` +
    'diese Seite halten kann: nehmen Sie das Kommandozeilenwerkzeug (trekdump --read=tracks.gpx ' +
    'NVPIPE.DAT).',
  failed: (what) => `Etwas ist schiefgegangen: ${what}`,
  changes_intro: (name) => `Diese Zeilen der Auflistung von ${name} ändern sich (vorher → ` +
    'nachher; die Auflistung ist die des Geräts selbst):',
  no_changes: (name) => `Keine Zeile der Auflistung von ${name} ändert sich; das Werkzeug ` +
    'schreibt den Konfigurationsblock trotzdem neu, wie immer.',
  backup_first: 'Laden Sie zuerst die Sicherungskopie herunter; dann können die Änderungen ' +
    'geschrieben werden.',
  written: (name) => `In ${name} geschrieben und zurückgelesen: die Datei enthält genau die ` +
    'neue Datendatei.',
  write_failed: (name, what) => `Das Schreiben in ${name} ist fehlgeschlagen: ${what}. Die ` +
    'Datei kann beschädigt sein: kopieren Sie die Sicherungskopie auf das Gerät.',
  write_failed_kept: (name, what) => `Das Schreiben in ${name} ist fehlgeschlagen: ${what}. ` +
    `${name} ist unverändert: die Seite hat die Datei zurückgelesen und gleich gefunden.`,
  write_back_note: (name, size) => `Das Schreiben ersetzt ${name} in einem Schritt: der Browser ` +
    `schreibt eine vollständige neue Kopie (${size}) daneben und setzt sie dann an die Stelle ` +
    'der alten; das Gerät braucht also Platz für die Kopie. Schlägt das Schreiben fehl, bleibt ' +
    'die alte Datei.',
  file_size: (bytes) => (bytes < 1e6 ? `${Math.ceil(bytes / 1e3)} KB` :
    `${(bytes / 1e6).toFixed(1).replace('.', ',')} MB`),
  read_back_differs: 'die zurückgelesene Datei weicht vom Geschriebenen ab',
  changed: (name) => `${name} wurde seit dem Öffnen verändert: öffnen Sie die Datei vor dem ` +
    'Speichern erneut.',
  changed_export: (name) => `${name} wurde seit dem Öffnen verändert: öffnen Sie die Datei ` +
    'erneut, um auszugeben, was sie jetzt enthält.',
  backup_failed: (name, what) => `Die Sicherungskopie von ${name} ließ sich nicht erstellen: ` +
    `${what} Ohne sie kann nichts geschrieben werden.`,
  queued: (name) => `${name} wird geöffnet, sobald das Schreiben beendet ist.`,
  no_new_block: 'das Werkzeug hat keinen Konfigurationsblock geschrieben',
  suspect: (name, findings) => `${name} sieht nicht wie die Datendatei des Loggers aus: ` +
    `${findings.join('; ')}. Vor dem Speichern wird ein zweites Mal gefragt.`,
  unknown_in_block: (lines) => 'ihr Konfigurationsblock enthält Werte außerhalb der bekannten ' +
    `(${lines.join(', ')})`,
  no_point: 'ihr Log enthält keinen gültigen Eintrag',
  confirm_suspect: (name) => `Ja, in ${name} schreiben, obwohl sie nicht wie eine Datendatei aussieht`,
  permission_denied: 'der Browser hat das Schreiben nicht erlaubt',
  browser_errors: {
    NotFoundError: 'die Datei ist nicht mehr, wo sie gewählt wurde: sie wurde verschoben, ' +
      'umbenannt oder gelöscht',
    NotReadableError: 'der Browser konnte die Datei nicht lesen',
    NotAllowedError: 'der Browser hat es nicht erlaubt',
    SecurityError: 'der Browser hat es nicht erlaubt',
    QuotaExceededError: 'auf dem Gerät ist nicht genug Platz für die Kopie des Browsers',
    NoModificationAllowedError: 'die Datei kann nicht geschrieben werden (schreibgeschützt ' +
      'oder in Gebrauch)',
    InvalidStateError: 'die Datei wurde inzwischen von etwas anderem verändert oder geschlossen',
    AbortError: 'der Browser hat die Arbeit abgebrochen',
    other: 'der Browser hat einen Fehler gemeldet',
  },
  browser_said: (words, said) => `${words} (der Browser sagte: „${said}“)`,
  password_cut: (bytes, typed, kept, whole) => `Das Gerät speichert ${bytes} Bytes: ${typed} ` +
    `wird als ${kept} gespeichert${whole ? '' : ', ohne das Zeichen, das nicht mehr ganz passt'}.`,
  password_char: (ch, count, shown) => `${ch} wird als ` +
    `${['', 'ein Byte', 'zwei Bytes', 'drei Bytes', 'vier Bytes'][count]} gespeichert und ` +
    `erscheint auf dem Gerät als ${shown}.`,
  downloaded: 'Die neue Datendatei wurde zum Herunterladen angeboten. Ihr Browser hat sie ' +
    'vielleicht umbenannt (etwa in NVPIPE(1).DAT): auf dem Gerät muss sie NVPIPE.DAT heißen. ' +
    'Kopieren Sie sie unter diesem Namen auf das Gerät, an die Stelle der alten.',
  fields: {
    'set-system-unit': ['Maßeinheiten', 'Metrische oder imperiale Einheiten in der Anzeige des Loggers.'],
    'set-device-zone': ['Zeitzone', 'Stunden gegenüber UTC der Zeiten, die der Logger zeigt: 2, -5 oder 5:30.'],
    'set-password': ['Passwort', 'Das Passwort des Loggers; leer für keins.'],
    'set-contrast': ['Kontrast', 'Kontrast der Anzeige: höher ist dunkler.'],
    'set-backlight-time': ['Hintergrundbeleuchtung', 'Wie lange die Anzeige nach einem Tastendruck leuchtet.'],
    'set-shake-mode': ['Shake-Modus', 'An: der Logger wacht auf, wenn er bewegt wird.'],
    'set-shake-mode-time': ['Shake-Modus-Zeit', 'Wie lange der Logger ohne Bewegung wartet, bevor er schläft.'],
    'clear-memory': ['Speicher beim nächsten Start leeren', 'Ja: der Logger löscht beim nächsten Start alle Tracks.'],
    'set-log-mode': ['Log-Modus', 'Wie oft Punkte aufgezeichnet werden: voreingestellt für Gehen, Radfahren, Autofahren oder benutzerdefiniert.'],
    'set-userdefined-log-mode': ['Benutzerdefinierter Log-Modus', 'Wonach der benutzerdefinierte Modus aufzeichnet: Zeit, Entfernung, Richtung, Geschwindigkeit oder alles.'],
    'set-userdefined-time-interval': ['Zeitintervall', 'Ein Punkt alle so viele Sekunden.'],
    'set-userdefined-distance-interval': ['Entfernungsintervall', 'Ein Punkt alle so viele Meter.'],
    'set-userdefined-heading-change': ['Richtungswechsel', 'Ein Punkt, wenn sich die Richtung um so viel ändert.'],
    'set-userdefined-highest-speed': ['Höchste Geschwindigkeit', 'Darüber gilt das kürzeste Intervall.'],
    'set-userdefined-high-speed': ['Hohe Geschwindigkeit', 'Grenze zwischen mittlerer und hoher Geschwindigkeit.'],
    'set-userdefined-middle-speed': ['Mittlere Geschwindigkeit', 'Grenze zwischen niedriger und mittlerer Geschwindigkeit.'],
    'set-userdefined-low-speed': ['Niedrige Geschwindigkeit', 'Grenze zwischen niedrigster und niedriger Geschwindigkeit.'],
    'set-userdefined-lowest-speed': ['Niedrigste Geschwindigkeit', 'Darunter wird kein Punkt aufgezeichnet.'],
    'set-userdefined-highest-speed-interval': ['Intervall hohe bis höchste Geschwindigkeit', 'Sekunden zwischen zwei Punkten bei diesen Geschwindigkeiten.'],
    'set-userdefined-high-speed-interval': ['Intervall mittlere bis hohe Geschwindigkeit', 'Sekunden zwischen zwei Punkten bei diesen Geschwindigkeiten.'],
    'set-userdefined-middle-speed-interval': ['Intervall niedrige bis mittlere Geschwindigkeit', 'Sekunden zwischen zwei Punkten bei diesen Geschwindigkeiten.'],
    'set-userdefined-low-speed-interval': ['Intervall niedrigste bis niedrige Geschwindigkeit', 'Sekunden zwischen zwei Punkten bei diesen Geschwindigkeiten.'],
    'set-gps-mode': ['GPS-Modus', 'Wie der Empfänger Genauigkeit, Schnelligkeit der ersten Position und Akku abwägt.'],
    'set-sbas': ['SBAS', 'Korrekturen von Satelliten wie EGNOS oder WAAS, für genauere Positionen.'],
    'set-fix-mode': ['Fix-Modus', 'Positionen aus 3 Satelliten (2D), aus 4 (3D) oder beides.'],
    'set-2d-fix-altitude': ['Höhe für 2D-Positionen', 'Die angenommene Höhe, wenn eine Position keine eigene hat.'],
    'set-initial-min-svs': ['Anfängliche Mindestzahl an Satelliten', 'Satelliten (SVs), die für die erste Position nötig sind.'],
    'set-initial-min-strength': ['Anfängliche Signalmindeststärke', 'Schwächere Satelliten zählen für die erste Position nicht.'],
    'set-navigation-min-strength': ['Navigations-Signalmindeststärke', 'Schwächere Satelliten zählen danach nicht.'],
    'set-p-accuracy-mask': ['Maske der Positionsgenauigkeit', 'Ungenauere Positionen werden nicht verwendet.'],
    'set-t-accuracy-mask': ['Maske der Zeitgenauigkeit', 'Positionen mit ungenauerer Zeit werden nicht verwendet.'],
    'set-pdop-mask': ['PDOP-Maske', 'Positionen mit höherer Genauigkeitsverringerung (schlechterer Satellitengeometrie) werden nicht verwendet.'],
    'set-tdop-mask': ['TDOP-Maske', 'Dasselbe für die Genauigkeitsverringerung der Zeit.'],
  },
  setting_groups: { device: 'Gerät', log: 'Aufzeichnung', gps: 'GPS' },
  unit_words: { s: 'Sekunden', min: 'Minuten', m: 'Meter', cm: 'Zentimeter', 'km/h': 'km/h',
    '°': 'Grad', dBHz: 'dBHz', h: 'Stunden' },
  field_range: (min, max, unit) => `${min} bis ${max}${unit ? ` ${unit}` : ''}`,
  field_words: (words) => `${words.slice(0, -1).join(', ')} oder ${words.at(-1)}`,
  field_zone: (range) => `${range}, als Stunden oder Stunden:Minuten`,
  field_bytes: (n) => `bis zu ${n} Bytes`,
  field_takes: (label, what) => `${label}: ${what}`,
  map_label: 'Karte der Tracks',
  map_keys: 'Mausrad, + und − zoomen; Ziehen oder die Pfeiltasten verschieben; 0 zeigt alle ' +
    'Tracks. Wählen Sie einen Track in der Tabelle, um ihn ins Bild zu holen.',
  zoom_in: 'Vergrößern',
  zoom_out: 'Verkleinern',
  zoom_fit: 'Alle Tracks zeigen',
  zoom_all: 'Alle',
  legend_label: 'Legende',
  legend_track: (n) => `Track ${n}`,
  legend_more: (n) => `und ${n} weitere`,
  legend_start: 'Start',
  legend_end: 'Ende',
  legend_push: 'Push-Log-Punkt',
  push_marker: (n, track, time, zone) => `Push-Log-Punkt ${n}, Track ${track}${time ? `, ${time} ${zone}` : ''}`,
  osm_link: (n) => `Track ${n} auf OpenStreetMap zeigen`,
  osm_note: 'Öffnet openstreetmap.org in einem neuen Tab: der Ort des Tracks wird dann dorthin ' +
    'gesendet. Sonst verlässt nichts diese Seite.',
  profile_title: 'Profil: Höhe und Geschwindigkeit',
  profile_empty: 'Wählen Sie einen Track, um Höhe und Geschwindigkeit entlang des Weges zu sehen.',
  profile_heading: (n) => `Profil von Track ${n}: Höhe und Geschwindigkeit`,
  profile_hint: 'Fahren Sie mit der Maus oder den Pfeiltasten daran entlang (auch Bild auf, ' +
    'Bild ab, Pos1 und Ende): der Ort wird auf der Karte markiert.',
  profile_elevation_unit: (unit) => `Höhe (${unit})`,
  profile_speed_unit: (unit) => `Geschwindigkeit (${unit})`,
  profile_x_legend: 'Profil über',
  profile_x_distance: 'Strecke',
  profile_x_time: 'Zeit',
  profile_names: ['Zeit', 'Strecke', 'Höhe', 'Geschwindigkeit'],
  profile_values: (v) => `${v.time} ${v.zone}, ${v.distance}, ${v.elevation}` +
    (v.speed === null ? '' : `, ${v.speed}`),
  track_columns: { number: 'Track', start: 'Start', end: 'Ende', seconds: 'Gesamt',
    moving_s: 'In Bewegung', paused_s: 'Pausen', stops: 'Stopps', distance_m: 'Strecke',
    average_kmh: 'Schnitt', max_kmh: 'Spitze', ascent_m: 'Aufstieg', descent_m: 'Abstieg',
    min_ele_m: 'Tiefste', max_ele_m: 'Höchste', count: 'Punkte', push_points: 'Push-Log-Punkte' },
  column_groups: { time: 'Zeit', duration: 'Dauer', speed: 'Geschwindigkeit', height: 'Höhe' },
  column_head: (name, unit) => (unit ? `${name} (${unit})` : name),
  duration_unit: 'h:mm:ss',
  utc: 'UTC',
  overview_log: (tracks, from, to, distance) => `${tracks === 1 ? 'Ein Track' : `${tracks} Tracks`}` +
    `${from === to ? ` am ${from}` : ` vom ${from} bis ${to}`}, zusammen ${distance}.`,
  overview_empty: 'Das Log enthält keinen Track.',
  overview_device: (zone, units) => `Der Logger ist auf ${zone} und ${units} eingestellt.`,
  units_names: { metric: 'metrische Einheiten', imperial: 'imperiale Einheiten' },
  times_legend: 'Zeiten in',
  times_device: (zone) => `${zone}, der Zone des Loggers`,
  times_utc: 'UTC',
  units_legend: 'Einheiten',
  units_metric: 'km, m, km/h',
  units_imperial: 'mi, ft, mph',
  language_label: 'Sprache',
  percent: (n) => `${n} %`,
};
