// Every text the page shows, in one place: the page's own words in German
// or English (texts_de.js, texts_en.js), chosen from the browser's language
// or by the owner, and remembered. The tool's own texts stay as the tool
// writes them.
import { de } from './texts_de.js';
import { en } from './texts_en.js';

const languages = { de, en };
const stored_key = 'trekdump.language';

// The texts of the language shown: the same object throughout, so that
// texts.name always reads the present language.
export const texts = { ...en };
export let language = 'en';

// The owner's choice if one was made here before, else German for a browser
// that asks for German first, else English.
function first_language() {
  try {
    const stored = window.localStorage.getItem(stored_key);
    if (stored in languages)
      return stored;
  } catch {}  // storage may be off for pages opened from a file
  return /^de\b/i.test(navigator.languages?.[0] ?? navigator.language ?? '') ? 'de' : 'en';
}

// Where the page has put a text of its own: for each element, its content
// or attributes and how to say them again in another language.
const said = new Map();
const redraws = [];
// What a view says again when the language changes.
export const on_language = (part) => redraws.push(part);

// Sets a text the page may have to say again in the other language: text is
// a function of no arguments, or a string (the tool's own words, or none)
// kept as it is.
export function say(element, text, attribute = '') {
  const parts = said.get(element) ?? new Map();
  if (typeof text === 'function')
    said.set(element, parts.set(attribute, text));
  else if (parts.delete(attribute) && !parts.size)
    said.delete(element);
  const words = typeof text === 'function' ? text() : text;
  if (attribute)
    element.setAttribute(attribute, words);
  else
    element.textContent = words;
}

export function set_language(code, remember = false) {
  language = code in languages ? code : 'en';
  Object.assign(texts, languages[language]);
  document.documentElement.lang = language;
  document.title = texts.title;
  for (const element of document.querySelectorAll('[data-text]'))
    element.textContent = texts[element.dataset.text];
  for (const [element, parts] of said) {
    if (!element.isConnected)
      said.delete(element);
    for (const [attribute, text] of element.isConnected ? parts : [])
      say(element, text, attribute);
  }
  for (const part of redraws)
    part();
  if (remember) {
    try {
      window.localStorage.setItem(stored_key, language);
    } catch {}
  }
}

export const start_language = () => set_language(first_language());

// A file name as the page's texts show it: a name that holds bidirectional
// controls is isolated (U+2068 to U+2069), so that they turn its own
// letters only, never the words around it. Any other name as it is.
export const shown_name = (name) =>
  (/[\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]/.test(name) ? `\u2068${name}\u2069` : name);
