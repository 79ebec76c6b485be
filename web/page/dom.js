// The page's elements by id.
export const $ = (id) => document.getElementById(id);
