// TypeScript looks for the types of "./keldro.mjs" here; they are in keldro.d.ts.
export * from "./keldro.js";
export { default } from "./keldro.js";
