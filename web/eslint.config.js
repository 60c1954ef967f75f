import js from "@eslint/js";
import globals from "globals";

export default [
  { ignores: ["node_modules/"] },
  js.configs.recommended,
  {
    files: ["site/**/*.js"],
    languageOptions: { globals: globals.browser },
  },
  {
    files: ["tools/**/*.js", "tests/**/*.js", "bench/**/*.js", "eslint.config.js"],
    languageOptions: { globals: { ...globals.node, ...globals.browser } },
  },
  {
    rules: {
      "no-unused-vars": ["error", { args: "after-used" }],
      eqeqeq: "error",
      "prefer-const": "error",
    },
  },
];
